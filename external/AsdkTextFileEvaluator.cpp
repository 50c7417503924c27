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

#include <new>
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

// The text of length bytes followed by one zero byte: UTF-16 after a
// byte-order mark, UTF-8 otherwise, up to the first zero character.
std::u16string decode(const std::vector<unsigned char>& bytes, std::size_t length)
{
    bool little = length >= 2 && bytes[0] == 0xFF && bytes[1] == 0xFE;
    bool big = length >= 2 && bytes[0] == 0xFE && bytes[1] == 0xFF;
    if (!little && !big) {
        std::string_view text(reinterpret_cast<const char*>(bytes.data()), length);
        return utf8::decode(text.substr(0, text.find('\0')));
    }
    // The bytes after the mark with the zero byte: a last odd byte becomes a
    // unit of its own with a zero high byte.
    std::u16string text;
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

// The file's bytes into text; a status other than kSuccess when it cannot
// be opened, its length cannot be had or nothing is read.
int readFile(const ACHAR* path, std::u16string& text)
{
    OpenFile file(_wopen(path, _O_RDONLY | _O_BINARY));
    if (file.fd() < 0)
        return frame::kInvalidCode;
    // 2 GiB or more, or no length at all: never a guess at the size.
    Adesk::Int32 length = _filelength(file.fd());
    if (length < 0)
        return frame::kInvalidCode;
    try {
        std::vector<unsigned char> bytes(static_cast<std::size_t>(length) + 1, 0);
        if (_read(file.fd(), bytes.data(), static_cast<unsigned int>(length)) <= 0)
            return frame::kInvalidCode;
        text = decode(bytes, static_cast<std::size_t>(length));
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

    AcString path = code.c_str();
    if (PathIsRelativeW(path.c_str()) && !drawingpath::resolve(code.c_str(), path))
        return frame::kInvalidCode;

    if (!PathFileExistsW(path.c_str())) {
        value.set((path + u" is not found.").c_str());
        // The stored stamp vouched for the file's text, not for this
        // message: a file put back unchanged must be read again.
        if (ChangeStamp::load(field).isValid())
            ChangeStamp::store(field, ChangeStamp());
        return frame::kSuccess;
    }

    ChangeStamp current = ChangeStamp::ofFile(path.c_str());
    if (field->objectId().isValid() && ChangeStamp::matches(ChangeStamp::load(field), current)) {
        AcValue previous;
        field->getValue(previous);
        value.set(previous);
        return frame::kSuccess;
    }

    std::u16string text;
    status = readFile(path.c_str(), text);
    if (status != frame::kSuccess)
        return status;
    value.set(text.c_str());
    ChangeStamp::store(field, current);
    return frame::kSuccess;
}

}

Acad::ErrorStatus AsdkTextFileEvaluator::compile(AcDbField* field, AcDbDatabase*, AcFdFieldResult* result)
{
    return frame::compile(field, kDataKey, result);
}

Acad::ErrorStatus AsdkTextFileEvaluator::evaluate(AcDbField* field, int, AcDbDatabase* database, AcFdFieldResult* result)
{
    return frame::evaluate(field, database, result,
                           [](AcDbField* f, AcDbDatabase*, AcFdFieldValue& value) { return compute(f, value); });
}
