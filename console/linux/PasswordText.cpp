#include "console/PasswordText.h"

#include <cerrno>
#include <iconv.h>

namespace {

constexpr const char* kCodePage = "CP932";
constexpr std::string_view kReplacement = "\xEF\xBF\xBD"; // U+FFFD

// One conversion descriptor, closed on every path.
class CConversion
{
public:
    CConversion(const char* to, const char* from) : m_cd(iconv_open(to, from)) {}
    ~CConversion()
    {
        if (Valid()) {
            iconv_close(m_cd);
        }
    }
    CConversion(const CConversion&) = delete;
    CConversion& operator=(const CConversion&) = delete;

    bool Valid() const { return m_cd != reinterpret_cast<iconv_t>(-1); }

    // Converts as much of in as it can onto out; returns errno of the stop, 0 when all went.
    int Convert(std::string_view& in, std::string& out)
    {
        char buffer[256];
        while (!in.empty()) {
            char* source = const_cast<char*>(in.data());
            size_t sourceLeft = in.size();
            char* target = buffer;
            size_t targetLeft = sizeof buffer;
            const size_t done = iconv(m_cd, &source, &sourceLeft, &target, &targetLeft);
            out.append(buffer, static_cast<size_t>(target - buffer));
            in.remove_prefix(in.size() - sourceLeft);
            if (done == static_cast<size_t>(-1) && errno != E2BIG) {
                return errno;
            }
        }
        return 0;
    }

private:
    iconv_t m_cd;
};

} // namespace

std::optional<std::string> PasswordToCodePage(std::string_view text)
{
    CConversion conversion(kCodePage, "UTF-8");
    std::string bytes;
    if (!conversion.Valid() || conversion.Convert(text, bytes) != 0) {
        return std::nullopt;
    }
    return bytes;
}

std::string PasswordFromCodePage(std::string_view bytes)
{
    CConversion conversion("UTF-8", kCodePage);
    std::string text;
    if (!conversion.Valid()) {
        return text;
    }
    // A byte that begins no character (or a lead byte cut off at the end) is shown as one
    // replacement character; the rest goes on.
    while (conversion.Convert(bytes, text) != 0) {
        text.append(kReplacement);
        bytes.remove_prefix(1);
    }
    return text;
}
