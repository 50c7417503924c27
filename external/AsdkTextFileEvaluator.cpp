// AsdkTextFileEvaluator: see the header. The field code is the file's path;
// the value is the file's whole text, read again only when the file's change
// stamp no longer matches the one stored at the last read.
#include "external/AsdkTextFileEvaluator.h"

#include "app/EvaluatorFrame.h"
#include "external/ChangeStamp.h"
#include "external/DrawingPath.h"
#include "host/crtio.h"
#include "host/winpath.h"
#include "util/Utf8.h"

#include <algorithm>
#include <new>
#include <string>
#include <string_view>
#include <vector>

namespace {

// Closes the file on every way out.
class OpenFile {
public:
    explicit OpenFile(int fd) : m_fd(fd) {}
    ~OpenFile()
    {
        if (m_fd >= 0)
            _close(m_fd);
    }
    OpenFile(const OpenFile&) = delete;
    OpenFile& operator=(const OpenFile&) = delete;
    int fd() const { return m_fd; }

private:
    int m_fd;
};

constexpr std::size_t kPiece = 1 << 20;

// The text of length bytes after a UTF-16 byte-order mark, followed by one
// zero byte, up to the first zero character: a last odd byte becomes a unit
// of its own with a zero high byte.
std::u16string decodeUtf16(const std::vector<unsigned char>& bytes, std::size_t length)
{
    bool little = bytes[0] == 0xFF;
    std::u16string text;
    text.reserve(length / 2);
    for (std::size_t i = 2; i < length + 1; i += 2) {
        unsigned first = bytes[i];
        unsigned second = i + 1 < length + 1 ? bytes[i + 1] : 0;
        char16_t unit;
        if (i + 1 >= length)
            unit = static_cast<char16_t>(first);
        else
            unit = static_cast<char16_t>(little ? first | second << 8 : first << 8 | second);
        if (unit == 0)
            break;
        text += unit;
    }
    return text;
}

// The file's text: UTF-16 after a byte-order mark, UTF-8 otherwise, up to
// the first zero character. UTF-8 is decoded piece by piece straight into
// the text, so a long file is never held twice. A status other than
// kSuccess when the file cannot be opened, its length cannot be had or
// nothing is read.
int readFile(const ACHAR* path, std::u16string& text)
{
    OpenFile file(_wopen(path, _O_RDONLY | _O_BINARY));
    if (file.fd() < 0)
        return frame::kInvalidCode;
    // 2 GiB or more, or no length at all: never a guess at the size.
    Adesk::Int32 signedLength = _filelength(file.fd());
    if (signedLength <= 0)
        return frame::kInvalidCode;
    const std::size_t length = static_cast<std::size_t>(signedLength);
    try {
        std::string piece(std::min(length, kPiece), '\0');
        int got = _read(file.fd(), piece.data(), static_cast<unsigned int>(piece.size()));
        if (got <= 0)
            return frame::kInvalidCode;
        piece.resize(static_cast<std::size_t>(got));
        std::size_t total = piece.size();
        auto byte = [&](std::size_t i) { return static_cast<unsigned char>(piece[i]); };
        if (total >= 2 && ((byte(0) == 0xFF && byte(1) == 0xFE) || (byte(0) == 0xFE && byte(1) == 0xFF))) {
            // As long in memory as on disk: read whole.
            std::vector<unsigned char> bytes(length + 1, 0);
            std::copy(piece.begin(), piece.end(), bytes.begin());
            while (total < length) {
                int n = _read(file.fd(), bytes.data() + total, static_cast<unsigned int>(length - total));
                if (n <= 0)
                    break;
                total += static_cast<std::size_t>(n);
            }
            text = decodeUtf16(bytes, length);
            return frame::kSuccess;
        }
        text.clear();
        text.reserve(length);  // never more units than bytes
        for (;;) {
            std::string_view data(piece);
            std::size_t zero = data.find('\0');
            if (zero != std::string_view::npos || total >= length) {
                utf8::decodeAppend(data.substr(0, zero), text);
                break;
            }
            std::size_t cut = utf8::completePrefix(data);
            utf8::decodeAppend(data.substr(0, cut), text);
            // The cut sequence goes on in the next piece.
            std::size_t keep = data.size() - cut;
            std::copy(piece.begin() + static_cast<std::ptrdiff_t>(cut), piece.end(), piece.begin());
            piece.resize(keep + std::min(length - total, kPiece));
            int n = _read(file.fd(), piece.data() + keep, static_cast<unsigned int>(piece.size() - keep));
            piece.resize(keep + static_cast<std::size_t>(std::max(n, 0)));
            if (n <= 0) {
                utf8::decodeAppend(piece, text);
                break;
            }
            total += static_cast<std::size_t>(n);
        }
    } catch (const std::bad_alloc&) {
        return frame::kInvalidCode;
    }
    return frame::kSuccess;
}

int compute(AcDbField* field, AcFdFieldValue& value)
{
    AcString code;
    int status = frame::readData(field, AsdkTextFileEvaluator::kDataKey, code);
    if (status != frame::kSuccess)
        return status;

    AcString path;
    if (!drawingpath::locate(code, path))
        return frame::kInvalidCode;
    if (!PathFileExistsW(path.c_str())) {
        ChangeStamp::showMissing(field, path + u" is not found.", value);
        return frame::kSuccess;
    }
    ChangeStamp current = ChangeStamp::ofFile(path.c_str());
    if (ChangeStamp::keepUnchanged(field, current, value))
        return frame::kSuccess;

    std::u16string text;
    status = readFile(path.c_str(), text);
    if (status != frame::kSuccess)
        return status;
    value.set(std::move(text));
    ChangeStamp::store(field, current);
    return frame::kSuccess;
}

}

Acad::ErrorStatus AsdkTextFileEvaluator::compile(AcDbField* field, AcDbDatabase*, AcFdFieldResult* result)
{
    return frame::compile(field, kDataKey, result);
}

Acad::ErrorStatus AsdkTextFileEvaluator::evaluate(AcDbField* field, int, AcDbDatabase* database,
                                                  AcFdFieldResult* result)
{
    return frame::evaluate(field, database, result,
                           [](AcDbField* f, AcDbDatabase*, AcFdFieldValue& value) { return compute(f, value); });
}
