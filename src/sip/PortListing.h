#pragma once
// Reading the socket listing of `ss`: pure text work, no Qt, so that the fuzz
// targets can build it alone.
#include <string_view>
#include <sys/types.h>
#include <vector>

// The process ids named by the last line of an `ss -H -uanp` listing whose
// local address ends in ":<port>" (a socket shared by several processes names
// them all), or none.
std::vector<pid_t> ParsePortOwnerPids(std::string_view listing, int port);
