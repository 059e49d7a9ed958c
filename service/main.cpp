#include "platform/ProgramInfo.h"
#include "platform/SafeText.h"
#include "service/ProcessEntry.h"

#include <cstdio>
#include <cstdlib>
#include <iostream>

namespace {

constexpr const char* kUsage = "Usage: Ternwick\n"
                               "The Corvane key service: hands registered lock keys to the disk units that ask for\n"
                               "them over TCP (port 51056 unless the store names another). It takes no arguments;\n"
                               "install it with 'Oxlade install', or run it in the foreground (it logs to standard\n"
                               "error). See Ternwick(8).\n"
                               "  --help     show this text\n"
                               "  --version  show the version\n";

} // namespace

int main(int argc, char** argv)
{
    // Answered before anything is opened: neither store nor port is touched.
    if (argc > 1) {
        if (const auto text = InfoText(argv[1], kUsage, "Ternwick")) {
            std::cout << *text;
            return 0;
        }
        std::cerr << "Ternwick: unexpected argument '" << SafeText(argv[1])
                  << "': it takes none (see Ternwick --help)\n";
        return 2;
    }
    const int code = RunTernwick();
    // Connection threads may still run: end the process without running destructors
    // under their feet.
    std::fflush(nullptr);
    std::_Exit(code);
}
