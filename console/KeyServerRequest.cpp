#include "KeyServerRequest.h"

#include "console/PasswordText.h"
#include "console/PortText.h"
#include "console/RequestParts.h"
#include "net/CWinsockSession.h"
#include "platform/RandomBytes.h"
#include "protocol/AuthError.h"
#include "protocol/CKeyServerClient.h"

#include <optional>

SRequestTarget ResolveTarget(const SCopyTarget& target)
{
    SRequestTarget resolved;
    const std::optional<uint16_t> port = ParseTargetPort(target.port);
    if (!port) {
        resolved.refusal = ECopyOutcome::InvalidPort;
        return resolved;
    }
    const std::optional<std::string> password = PasswordToCodePage(target.password);
    if (!password) {
        resolved.refusal = ECopyOutcome::UnrepresentablePassword;
        return resolved;
    }
    resolved.port = *port;
    resolved.password = *password;
    return resolved;
}

ECopyOutcome RunKeyServerRequest(const std::string& host, uint16_t port,
                                 const std::function<void(CKeyServerClient&)>& conversation)
{
    // The socket library for this request only: the console uses no socket otherwise. One
    // that cannot start is no connection.
    std::optional<ZiRez::CWinsockSession> sockets;
    try {
        sockets.emplace();
    } catch (...) {
        return ECopyOutcome::NoConnection;
    }
    try {
        CKeyServerClient client;
        try {
            client.Open(host, port);
        } catch (...) {
            return ECopyOutcome::NoConnection;
        }
        conversation(client);
    } catch (const KeyServer::AuthError&) {
        return ECopyOutcome::PasswordRefused;
    } catch (...) {
        return ECopyOutcome::Failed;
    }
    return ECopyOutcome::Done;
}

ECopyOutcome RunInParts(const SCopyTarget& target, const std::vector<size_t>& idLengths, size_t keyLength,
                        const RequestPart& part, const CopyProgress& progress)
{
    const SRequestTarget resolved = ResolveTarget(target);
    if (resolved.refusal != ECopyOutcome::Done) {
        return resolved.refusal;
    }
    size_t done = 0;
    for (const size_t count : SplitIntoRequests(idLengths, resolved.password.size(), keyLength)) {
        const ECopyOutcome outcome = part(resolved, done, count);
        if (outcome != ECopyOutcome::Done) {
            return outcome;
        }
        done += count;
        if (progress) {
            progress(done, idLengths.size());
        }
    }
    return ECopyOutcome::Done;
}

CMaskBuffer MakeTransferMask()
{
    unsigned char bytes[kTransferMaskLength];
    Platform::FillRandom(bytes, sizeof bytes);
    return CMaskBuffer(bytes, sizeof bytes);
}
