#pragma once

#include "net/CSocketError.h"
#include "net/CSocketEvent.h"
#include "net/CSocketTimeOut.h"

#include <string>

// What a call threw, sorted the way callers of the layer must catch it: CSocketTimeOut and
// CSocketEvent are not CSocketErrors.
struct Thrown
{
    enum Kind
    {
        Nothing,
        Error,
        TimeOut,
        Event,
        Other
    } kind = Nothing;
    int code = 0;
    std::string message;
};

template <typename Call> Thrown Catch(Call call)
{
    Thrown thrown;
    try {
        call();
    } catch (const ZiRez::CSocketError& error) {
        thrown = {Thrown::Error, error.GetCode(), error.what()};
    } catch (const ZiRez::CSocketTimeOut& error) {
        thrown = {Thrown::TimeOut, error.GetCode(), error.what()};
    } catch (const ZiRez::CSocketEvent& error) {
        thrown = {Thrown::Event, 0, error.what()};
    } catch (...) {
        thrown.kind = Thrown::Other;
    }
    return thrown;
}
