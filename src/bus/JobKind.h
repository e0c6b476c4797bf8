#pragma once
// What a bus job is for; the traffic record names each packet's operation by it.

#include <cstdint>

enum class JobKind : uint8_t { Poll, Command, Search, Transfer, Test };

// "poll", "command", "search", "transfer", "test"
const char* JobKindName(JobKind kind);
