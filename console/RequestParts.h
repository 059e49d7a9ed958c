#pragma once

#include <cstddef>
#include <vector>

// The consecutive parts a list of keys or identifiers travels in, so that every request
// stays within what a key server takes: at most 65,536 entries and 1 MiB of items, each
// item counted with its overhead as the key service counts it. Each entry carries an
// identifier of the given length and, when keyLength is not 0, a key item. The password,
// the count and the transfer mask go with every part. An empty list is one empty part.
std::vector<size_t> SplitIntoRequests(const std::vector<size_t>& idLengths, size_t passwordLength, size_t keyLength);
