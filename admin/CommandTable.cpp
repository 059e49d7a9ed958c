#include "CommandTable.h"

#include <cstdint>

namespace {

constexpr size_t kAny = SIZE_MAX;

const SCommandEntry kCommands[] = {
    {"list", kOptionJson, 0, 0, "list [--json]", "List the registered IDs, one per line.",
     "Prints the ID of every unit whose key is registered, in ascending order. With --json,\n"
     "one object instead: {\"count\": N, \"registrations\": [\"ID\", ...]}.\n"},
    {"sticks", 0, 0, 0, "sticks", "List the lock-key sticks plugged in now.",
     "One line per lock key found, fields separated by tabs: its drive-letter path (what\n"
     "'register' takes), its ID, the mount point, the USB identity of its stick ('-' for\n"
     "none, 'unknown' for one Windows would not use) and 'ready', or why its key cannot\n"
     "be registered.\n"},
    {"register", kOptionYes, 0, 1, "register [--yes] [ID | E:\\ID | E:/ID]", "Register the key on a lock-key stick.",
     "Without an argument, registers the only lock key plugged in; name one (by ID or by\n"
     "its drive-letter path, see 'sticks') when there are several. An ID registered already\n"
     "is replaced only after a question on the terminal, or with --yes. Exits with 0 only\n"
     "when the key is stored.\n"},
    {"delete", kOptionYes, 1, kAny, "delete [--yes] ID...", "Delete registrations.",
     "Asks once for all IDs (or --yes), then deletes them in the order given, stopping at\n"
     "the first that cannot be deleted.\n"},
    {"port", 0, 0, 1, "port [N]", "Show the key service's TCP port, or set it.",
     "Without N, prints the port. With N (1 to 65535, digits only, no leading zero) sets it\n"
     "when no other program holds that port; a running key service moves to it at once, and\n"
     "the firewall opening made by 'Oxlade install' follows it.\n"},
    {"password", kOptionStdin, 0, 1, "password [set [--stdin] | off]", "Show or change the cooperation password.",
     "Without an argument, says whether cooperation is permitted (other key servers may\n"
     "fetch and store keys with the cooperation password). 'set' reads the new password\n"
     "twice from the terminal without echo (or once from standard input with --stdin); it\n"
     "is stored as code page 932 (Japanese Windows) bytes, at most 20. 'off' withdraws the\n"
     "permission.\n"},
    {"copy", kOptionAll | kOptionStdin | kOptionTimeOut, 1, kAny,
     "copy [--stdin] [--timeout SECONDS] HOST[:PORT] (ID... | --all)", "Copy registered keys to another key server.",
     "Pushes the keys of the IDs (or of every registration) to the key server at HOST (port\n"
     "51056 unless given; an IPv6 address as [ADDRESS]:PORT) with its cooperation password,\n"
     "read from the terminal without echo or from standard input with --stdin. A large copy\n"
     "goes in several requests, each given 10 s (or --timeout SECONDS, 1 to 3600) however\n"
     "slowly the key server answers. Prints how many keys reached the key server.\n"},
    {"fetch", kOptionYes | kOptionStdin | kOptionTimeOut, 2, kAny,
     "fetch [--yes] [--stdin] [--timeout SECONDS] HOST[:PORT] ID...",
     "Take keys from another key server into this one.",
     "Fetches the keys of the IDs from the key server at HOST with its cooperation password\n"
     "and registers them here. IDs registered here already are replaced only after a\n"
     "question, or with --yes. IDs the key server has no key for are named. The request is\n"
     "given 10 s (or --timeout SECONDS, 1 to 3600) however slowly the key server answers.\n"},
    {"export", kOptionForce | kOptionStdin, 1, 1, "export [--force] [--stdin] FILE",
     "Write every registration and setting to a file sealed with a passphrase.",
     "Writes the key of every registration, the port and the cooperation password into\n"
     "FILE (mode 0600), sealed with a passphrase typed twice without echo (or one line of\n"
     "standard input with --stdin), at least 8 characters. 'import' restores it on any\n"
     "machine, this one after a reinstall included. An existing FILE is replaced only with\n"
     "--force. Keep the passphrase apart from the file: without it nothing can be restored.\n"},
    {"import", kOptionYes | kOptionStdin, 1, 1, "import [--yes] [--stdin] FILE",
     "Restore the registrations and settings of a sealed export.",
     "Opens FILE with its passphrase and stores all of it, or nothing: every registration\n"
     "(replacing the key of an ID registered here already only after a question, or with\n"
     "--yes), the port and the cooperation password. A key store of another machine\n"
     "identity (its keys cannot be read here) is replaced as a whole, after a question. A\n"
     "wrong passphrase, an altered or cut-short file and one of a newer format are refused.\n"},
    {"throttle", 0, 0, 2, "throttle [RATE [BURST] | off]",
     "Show or set how fast one peer may ask for unknown IDs or try passwords.",
     "Without an argument, prints the throttle. Each peer (a source address; an IPv6 /64 as\n"
     "one, and all addresses of the key server's machine as one) may ask for RATE unknown\n"
     "IDs a second, BURST at once (10 and 50 to start with),\n"
     "and as many wrong cooperation passwords; past that it is answered as for an unknown ID\n"
     "(or a wrong password) after a second, for every ID it asks for, without a look, until\n"
     "its allowance refills. A unit asking for its own key spends nothing. 'off' lifts the\n"
     "limit. A running key service takes the change at once.\n"},
    {"release-check", 0, 0, kAny, "release-check [off | log | enforce | exempt (add | remove) SUBNET...]",
     "Show or set whether a unit is given only its own key.",
     "Checks that the link-layer (MAC) address of a peer asking for a key, from the kernel's\n"
     "neighbour table, is the ID it asks for. 'log' logs each mismatch and hands the key out;\n"
     "'enforce' answers a mismatch as an unknown ID, and logs it; 'off' (to start with)\n"
     "checks nothing. Peers on loopback, and in the exempt subnets (units behind a router,\n"
     "whose address the neighbour table cannot know; as 192.0.2.0/24 or 2001:db8::/48) are\n"
     "not checked. Without an argument, prints the mode and the exempt subnets.\n"},
    {"peer", kOptionJson | kOptionSecretStdin | kOptionKeep, 1, 3,
     "peer (add [--secret-stdin] NAME HOST[:PORT] | remove NAME | list [--json] | resolve ID --keep local|peer)",
     "Pair this key server with others that keep the same keys.",
     "Key servers paired as peers give each other every registration and deletion within\n"
     "seconds, whichever of them it was made on, and compare their whole lists every minute,\n"
     "so one that was away catches up by itself. They talk over the key service's port,\n"
     "sealed with a secret only the two share. 'add' names a peer and where its key service\n"
     "listens (port 51056 unless given), and shows a new secret once: give it to the other\n"
     "server's 'peer add ... --secret-stdin' (one line of 64 hexadecimal digits). 'remove'\n"
     "forgets a peer. 'list' shows each peer's state (in sync, or why not), its last\n"
     "complete sync, the changes it has yet to get and the conflicts; with --json, one\n"
     "object {\"peers\": [{name, host, port, state, inSync, lastSync, waiting, conflicts}],\n"
     "\"conflicts\": [{id, peer}]}. An ID given different keys (or deleted on one side) while\n"
     "two servers could not talk is a conflict: each keeps serving its own until 'resolve'\n"
     "keeps the local key or the peer's on every server (the key service must run).\n"},
    {"push-limit", 0, 0, 1, "push-limit [N | off]",
     "Show or set how many registrations cooperation pushes may bring the key store to.",
     "A push (another key server's copy, with the cooperation password) may replace keys\n"
     "registered here, and add new registrations until the store holds N (100,000 to start\n"
     "with); a pair beyond that is answered as one that cannot be stored. 'off' lifts the\n"
     "limit. Registrations made here (the console, this program, an import, a peer) are\n"
     "not limited. A running key service takes the change at once. Without an argument,\n"
     "prints the limit.\n"},
    {"status", kOptionJson | kOptionTimeOut, 0, 0, "status [--json] [--timeout SECONDS]",
     "Show the key service's state.",
     "The service's state (systemd's, or the Windows service manager's), its port and\n"
     "whether something answers a check request there (on loopback, waiting up to 10 s or\n"
     "--timeout SECONDS for the whole request),\n"
     "the cooperation state, the number of registrations, the throttle and release-check\n"
     "settings with the counts of the last hour (throttled requests, release-check\n"
     "mismatches; the service writes them once a minute) and where the key store is (a\n"
     "file on Linux, a registry branch on Windows). Exits with 0 when the service answers.\n"
     "With --json, one object with the fields service (not-installed, stopped, starting,\n"
     "stopping, running, continuing, pausing, paused), serviceState (0 to 7), port,\n"
     "answers, cooperation, registrations, throttleRate, throttleBurst, releaseCheck (off,\n"
     "log, enforce), releaseExempt (a list of subnets), lastHour (throttled, mismatches,\n"
     "asOf in seconds since 1970; null before the service wrote it) and keyStore; port,\n"
     "cooperation, registrations and the settings are null when the key store cannot be\n"
     "read (the reason goes to standard error).\n"},
    {"health", kOptionJson | kOptionTimeOut | kOptionFineTimeOut | kOptionServingOnly, 0, 0,
     "health [--json] [--timeout SECONDS] [--serving-only]",
     "Check that the key service can serve units now (for failover checks).",
     "Exits with 0 when the key store is usable and of this machine and the key service\n"
     "answers a check request on its port on loopback within 1 s (or --timeout SECONDS,\n"
     "fractions allowed, as 0.5). Otherwise one line on standard error names the reason,\n"
     "with an exit status of its own: 3 nothing listens on the port (not-running), 4 no\n"
     "answer in time (not-answering), 5 the service manager says the service is paused\n"
     "(paused), 6 the key store is missing, damaged or cannot be read (store-unusable), 7\n"
     "the key store belongs to another machine identity (store-foreign), 8 an ID has\n"
     "another key on a peer than here (in-conflict; see 'peer list'). --serving-only leaves\n"
     "conflicts out: the check of a failover manager, since moving the address to the peer\n"
     "would not mend one (both servers hold it) and taking both servers out would stop all\n"
     "units. With --json, one\n"
     "object on standard output instead: health (healthy or the reason), exitStatus, port\n"
     "(null when the store cannot tell) and message.\n"},
    {"metrics-dir", 0, 0, 1, "metrics-dir [PATH | off]", "Show or set where the key service writes its metrics.",
     "Without an argument, prints the folder, or 'off'. With PATH (an absolute path of an\n"
     "existing folder), the key service writes its counts there in the Prometheus text format,\n"
     "as corvane_keyserver.prom, at once and then every 15 s, replacing the file in one step\n"
     "(for a text-file collector such as the node exporter's). 'off' stops it; the last file\n"
     "stays. A running key service takes the change at once.\n"},
    {"metrics", 0, 0, 0, "metrics", "Print the metrics the key service wrote last.",
     "Prints the file the key service wrote last in the metrics folder (see 'metrics-dir'):\n"
     "requests by code and status, throttled requests, release-check mismatches, open\n"
     "connections, units turned away at the connection cap, failed loads of the key list,\n"
     "its start time and version. Fails when the metrics are off or none were written.\n"},
};

} // namespace

const SCommandEntry* FindCommand(std::string_view name)
{
    for (const SCommandEntry& command : kCommands) {
        if (name == command.name) {
            return &command;
        }
    }
    return nullptr;
}

std::string ProgramHelp()
{
    std::string help = "Usage: corvane-admin COMMAND [ARGUMENTS]\n"
                       "Administers the Corvane key server of this computer from a terminal.\n\nCommands:\n";
    for (const SCommandEntry& command : kCommands) {
        help += "  " + std::string(command.synopsis) + "\n      " + command.summary + "\n";
    }
    help += "\n'corvane-admin COMMAND --help' tells more. Exit status: 0 success, 1 refused or failed,\n"
            "2 usage error; health has its own for each reason (3 to 7). Commands that change the key store need root. "
            "'corvane-admin --version'\n"
            "shows the version.\n";
    return help;
}

std::string CommandHelp(const SCommandEntry& command)
{
    return "Usage: corvane-admin " + std::string(command.synopsis) + "\n" + command.summary + "\n\n" + command.details;
}
