#pragma once

#include <cstdint>
#include <string_view>

// Copies into callers' buffers with the size conventions of the registry calls.

// A name and its terminator; kErrorMoreData when capacity cannot hold both. length,
// when given, receives the name's length.
int32_t CopyName(std::string_view name, char* out, uint32_t capacity, uint32_t* length);

// Data into buffer of *length bytes; *length receives the data's size in every case, and
// kErrorMoreData tells that the buffer was too small (its content is then undefined).
int32_t CopyData(std::string_view data, void* buffer, uint32_t* length);
