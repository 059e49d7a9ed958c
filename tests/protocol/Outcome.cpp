#include "Outcome.h"

#include "net/CSocketError.h"
#include "net/CSocketTimeOut.h"
#include "protocol/AuthError.h"
#include "protocol/ConnectError.h"
#include "protocol/InvalidRequest.h"

Outcome CatchOutcome(const std::function<void()>& operation)
{
    try {
        operation();
        return {};
    } catch (const ZiRez::CSocketError& error) {
        return {Outcome::SocketError, error.what(), error.GetCode()};
    } catch (const ZiRez::CSocketTimeOut& error) {
        return {Outcome::SocketTimeOut, error.what(), error.GetCode()};
    } catch (const KeyServer::AuthError& error) {
        return {Outcome::AuthError, error.what(), 0};
    } catch (const KeyServer::ConnectError& error) {
        return {Outcome::ConnectError, error.what(), 0};
    } catch (const KeyServer::InvalidRequest& error) {
        return {Outcome::InvalidRequest, error.what(), 0};
    } catch (const std::exception& error) {
        return {Outcome::Other, error.what(), 0};
    }
}

std::ostream& operator<<(std::ostream& out, const Outcome& outcome)
{
    static const char* const kNames[] = {"Done",         "CSocketError",   "CSocketTimeOut", "AuthError",
                                         "ConnectError", "InvalidRequest", "other"};
    out << kNames[outcome.kind];
    if (outcome.kind != Outcome::Done) {
        out << " \"" << outcome.message << "\" code " << outcome.code;
    }
    return out;
}
