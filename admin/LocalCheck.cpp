#include "LocalCheck.h"

#include "protocol/CKeyServerClient.h"

#include <stdexcept>

ECopyOutcome CheckLocalService(uint16_t port)
{
    const auto check = [](CKeyServerClient& client) {
        if (client.Check().status != ST_OK) {
            throw std::runtime_error("check refused");
        }
    };
    for (const char* loopback : {"127.0.0.1", "::1"}) {
        const ECopyOutcome outcome = RunKeyServerRequest(loopback, port, check);
        if (outcome != ECopyOutcome::NoConnection) {
            return outcome == ECopyOutcome::Done ? ECopyOutcome::Done : ECopyOutcome::Failed;
        }
    }
    return ECopyOutcome::NoConnection;
}
