#pragma once
#include <string>

// Writes dialtone.wav, camera1.wav and ring.wav into dir; false on a write error.
bool makeSounds(const std::string& dir);
