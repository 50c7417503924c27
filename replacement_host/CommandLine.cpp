// The command line: acutPrintf with its small format language, and the sink.
#include "replacement_host/CommandLine.h"

#include "host/acutads.h"
#include "replacement_host/text/Utf.h"

#include <cstdarg>
#include <cstdio>
#include <iostream>
#include <string>

namespace {
commandline::Sink& sink()
{
    static commandline::Sink s = [](std::u16string_view text) { std::cerr << utf::toUtf8(text) << std::flush; };
    return s;
}

std::u16string ascii(const char* s) { return std::u16string(s, s + std::char_traits<char>::length(s)); }
}

namespace commandline {
Sink setSink(Sink s)
{
    Sink old = sink();
    sink() = std::move(s);
    return old;
}
}

int acutPrintf(const ACHAR* format, ...)
{
    if (!format)
        return 0;
    std::u16string out;
    va_list args;
    va_start(args, format);
    for (const ACHAR* p = format; *p; ++p) {
        if (*p != u'%') {
            out += *p;
            continue;
        }
        ++p;
        bool isLong = false;
        if (*p == u'l') {
            isLong = true;
            ++p;
        }
        char buf[64];
        switch (*p) {
        case u's': {
            const ACHAR* s = va_arg(args, const ACHAR*);
            out += s ? s : u"(null)";
            break;
        }
        case u'd':
            if (isLong)
                std::snprintf(buf, sizeof buf, "%ld", va_arg(args, long));
            else
                std::snprintf(buf, sizeof buf, "%d", va_arg(args, int));
            out += ascii(buf);
            break;
        case u'x':
            std::snprintf(buf, sizeof buf, "%x", va_arg(args, unsigned));
            out += ascii(buf);
            break;
        case u'g':
            std::snprintf(buf, sizeof buf, "%g", va_arg(args, double));
            out += ascii(buf);
            break;
        case u'%': out += u'%'; break;
        case 0:
            --p;  // a lone "%" at the end
            break;
        default:
            out += u'%';
            out += *p;
            break;
        }
    }
    va_end(args);
    sink()(out);
    return static_cast<int>(out.size());
}
