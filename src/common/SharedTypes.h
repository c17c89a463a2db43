#pragma once
#include <functional>
#include <string>

// A sink that takes one text: every log sink, state sink and chunk sink.
// An empty function means "no sink": the producer drops its call.
using TGetStrProc = std::function<void(const std::string&)>;

// The program's version as it appears in the log banner.
inline constexpr const char* VersionName = "VELNORA_Manager_3.6";
