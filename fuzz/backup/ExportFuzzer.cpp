// Feeds arbitrary bytes to the reading of export files: the sealed file's header and
// chunks, and the payload it holds once opened. Input: byte 0 picks what is fuzzed.
// - payload: the rest is a payload; one that decodes must encode to bytes that decode to
//   the same export.
// - sealed: the rest is sealed under a known passphrase, one change chosen by bytes 1 to 4
//   is made to the file, and it is opened again: unchanged, it must give the same bytes
//   back; changed, it must be refused with nothing opened.
// - raw: the rest is taken as a file as it is (its derivation cost held at the least, so
//   that an input cannot ask for a gigabyte); it must be refused or opened without a fault.
#include "backup/ExportPayload.h"
#include "backup/SealedExport.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

constexpr std::string_view kPassphrase = "fuzz passphrase";
// Where the derivation's cost and salt lie in a sealed file's header.
constexpr size_t kCostOffset = 12;
constexpr size_t kSaltOffset = 28;

[[noreturn]] void Finding(const char* what)
{
    std::fprintf(stderr, "export fuzzer: %s\n", what);
    std::abort();
}

bool SameExport(const ExportPayload::SExport& a, const ExportPayload::SExport& b)
{
    if (a.createdAt != b.createdAt || a.host != b.host || a.contents.port != b.contents.port ||
        a.contents.password != b.contents.password || a.contents.keys.size() != b.contents.keys.size() ||
        a.peers != b.peers) {
        return false;
    }
    for (auto left = a.contents.keys.begin(), right = b.contents.keys.begin(); left != a.contents.keys.end();
         ++left, ++right) {
        if (left->first != right->first || left->second.GetKey().View() != right->second.GetKey().View()) {
            return false;
        }
    }
    return true;
}

void FuzzPayload(std::string_view bytes)
{
    const auto decoded = ExportPayload::Decode(bytes);
    if (!decoded) {
        return;
    }
    const auto again = ExportPayload::Decode(ExportPayload::Encode(*decoded));
    if (!again || !SameExport(*decoded, *again)) {
        Finding("a decoded payload does not survive encoding");
    }
}

std::string PutLeastCost(std::string file)
{
    const SealedExport::SKdfCost least = SealedExport::LeastCost();
    if (file.size() < kSaltOffset) {
        return file;
    }
    for (int i = 0; i < 8; ++i) {
        file[kCostOffset + static_cast<size_t>(i)] = static_cast<char>(least.opsLimit >> (56 - 8 * i));
        file[kCostOffset + 8 + static_cast<size_t>(i)] = static_cast<char>(uint64_t{least.memLimit} >> (56 - 8 * i));
    }
    return file;
}

// The file with one change made to it; unchanged when the change would leave it as it was.
std::string Changed(const std::string& sealed, uint8_t kind, uint32_t where)
{
    std::string file = sealed;
    size_t position = where % file.size();
    // A changed cost would only make the derivation slower; the salt is changed instead.
    if (position >= kCostOffset && position < kSaltOffset) {
        position += kSaltOffset - kCostOffset;
    }
    switch (kind % 4) {
    case 1:
        file[position] = static_cast<char>(file[position] ^ (1 + (where >> 24) % 255));
        break;
    case 2:
        file.resize(position);
        break;
    case 3:
        file.push_back(static_cast<char>(where >> 24));
        break;
    default:
        break;
    }
    return file;
}

void FuzzSealed(std::string_view rest)
{
    if (rest.size() < 4) {
        return;
    }
    const uint8_t kind = static_cast<uint8_t>(rest[0]);
    const uint32_t where = static_cast<uint32_t>(static_cast<uint8_t>(rest[1])) |
                           static_cast<uint32_t>(static_cast<uint8_t>(rest[2])) << 8 |
                           static_cast<uint32_t>(static_cast<uint8_t>(rest[3])) << 16 |
                           static_cast<uint32_t>(static_cast<uint8_t>(rest[0])) << 24;
    const std::string_view plain = rest.substr(4);
    const std::string sealed = SealedExport::Seal(plain, kPassphrase, SealedExport::LeastCost());
    const std::string file = Changed(sealed, kind, where);
    const SealedExport::SUnsealed opened = SealedExport::Unseal(file, kPassphrase);
    if (file == sealed) {
        if (opened.fault != SealedExport::EFault::None || opened.plain != plain) {
            Finding("an unchanged file does not open to what was sealed");
        }
        FuzzPayload(opened.plain);
    } else if (opened.fault == SealedExport::EFault::None || !opened.plain.empty()) {
        Finding("a changed file was opened");
    }
}

void FuzzRaw(std::string_view rest)
{
    const SealedExport::SUnsealed opened = SealedExport::Unseal(PutLeastCost(std::string(rest)), kPassphrase);
    if (opened.fault != SealedExport::EFault::None && !opened.plain.empty()) {
        Finding("a refused file left opened bytes behind");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0) {
        return 0;
    }
    const std::string_view rest(reinterpret_cast<const char*>(data) + 1, size - 1);
    switch (data[0] % 3) {
    case 0:
        FuzzPayload(rest);
        break;
    case 1:
        FuzzSealed(rest);
        break;
    default:
        FuzzRaw(rest);
        break;
    }
    return 0;
}
