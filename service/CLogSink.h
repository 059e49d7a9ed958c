#pragma once

#include <cstddef>

// Where the log queue's writer thread puts the service's lines: the text as it is on a
// descriptor (CDescriptorSink), or, under systemd, the journal with each line's fields.
class CLogSink
{
public:
    // Separates a queued line's text from its fields, and each field ("NAME=value") from the
    // next: the text and the values are printable, so it never occurs in them.
    static constexpr char kFieldMark = '\x1f';

    virtual ~CLogSink() = default;

    // Whether lines are queued with their fields for this sink.
    virtual bool TakesFields() const { return false; }
    // Bytes of whole lines, each ending in '\n'; the last may be cut where the queue's
    // ring wraps and ends in the next call. May block: the queue's writer thread calls it.
    virtual void Write(const char* bytes, size_t length) = 0;
};
