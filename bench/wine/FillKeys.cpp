// Usage: corvane_bench_fill K PORT
// Gives the key store of this machine (the registry) the layout, the port PORT and the
// bench's units 0..K-1 in one change, for corvane_loadgen --attach against Ternwick.exe.
#include "BenchKeys.h"
#include "settings/CKeyStore.h"

#include <cstdio>
#include <cstdlib>
#include <vector>

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fputs("usage: corvane_bench_fill K PORT\n", stderr);
        return 2;
    }
    const size_t count = std::strtoul(argv[1], nullptr, 10);
    CKeyStore store;
    if (store.Prepare() != 1 || store.WritePort(std::atoi(argv[2])) != 1) {
        std::fputs("corvane_bench_fill: the store cannot be prepared\n", stderr);
        return 1;
    }
    std::vector<CKeyRecord> records(count);
    for (size_t unit = 0; unit < count; ++unit) {
        records[unit].SetId(BenchId(unit));
        records[unit].SetKey(BenchKey(unit).data());
    }
    size_t stored = 0;
    for (int result : store.StoreKeys(records)) {
        stored += result == 1 ? 1 : 0;
    }
    std::printf("%zu of %zu units registered\n", stored, count);
    return stored == count ? 0 : 1;
}
