#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// The options a command may take, as bits.
enum EAdminOption : unsigned
{
    kOptionYes = 1,           // --yes, -y: answer yes to the question
    kOptionStdin = 2,         // --stdin: the password is the first line of standard input
    kOptionAll = 4,           // --all: every registration
    kOptionForce = 8,         // --force: replace an existing file
    kOptionJson = 16,         // --json: one JSON object on standard output
    kOptionTimeOut = 32,      // --timeout SECONDS: the whole time of each request to a key server
    kOptionFineTimeOut = 64,  // with kOptionTimeOut: SECONDS may have a fraction (0.25)
    kOptionSecretStdin = 128, // --secret-stdin: the peer secret is the first line of standard input
    kOptionKeep = 256,        // --keep local|peer: which key a settled conflict keeps
    kOptionServingOnly = 512, // --serving-only: health leaves out what a move of the address cannot mend
};

// One command of corvane-admin: its name, options, operand counts and help.
struct SCommandEntry
{
    const char* name;
    unsigned options;
    size_t minOperands;
    size_t maxOperands;
    const char* synopsis; // after "corvane-admin "
    const char* summary;  // one line
    const char* details;  // the rest of its help
};

const SCommandEntry* FindCommand(std::string_view name);

// The program's help: every command with its synopsis and summary.
std::string ProgramHelp();
std::string CommandHelp(const SCommandEntry& command);
