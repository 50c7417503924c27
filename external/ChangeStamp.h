// ChangeStamp: when a source file was last modified, as local time in whole
// seconds, kept on a field as text in extended data. A field that reads a
// file stores the stamp after each successful read and skips the next read
// while the file's stamp still matches.
#pragma once

#include "host/AcFdEval.h"
#include "host/AcString.h"
#include "host/dbfield.h"

class ChangeStamp {
public:
    // The application name the text is kept under.
    static constexpr const ACHAR* kAppName = u"5922BCAD362F4a2f85F978E948CC606B";
    // The text of a stamp that holds no time.
    static constexpr const ACHAR* kInvalidText = u"Invalid DateTime";
    // Two stamps match within half a second, in days.
    static constexpr double kTolerance = 1.0 / 172800.0;

    // An invalid stamp: matches nothing.
    ChangeStamp() = default;

    // The stamp of the file's last modification; invalid when the time cannot
    // be read or turned into a calendar time.
    static ChangeStamp ofFile(const ACHAR* path);
    // The stamp stored on the field; invalid when there is none or it does not parse.
    static ChangeStamp load(AcDbField* field);
    // A stamp read from its text; invalid when the text does not parse.
    static ChangeStamp parse(const ACHAR* text);
    static bool matches(const ChangeStamp& stored, const ChangeStamp& current);
    // Writes the stamp's text on the field, replacing any earlier one.
    static void store(AcDbField* field, const ChangeStamp& stamp);

    // The steps every field that reads a file shares before reading it.
    // The file is missing: the value is the message, and a stored stamp, which
    // vouched for the file's text and not for this message, is dropped so that
    // a file put back unchanged is read again.
    static void showMissing(AcDbField* field, const AcString& message, AcFdFieldValue& value);
    // True, with the field's previous value kept, when the field is in a
    // drawing and its stored stamp still matches the file's current one.
    static bool keepUnchanged(AcDbField* field, const ChangeStamp& current, AcFdFieldValue& value);

    AcString text() const;
    bool isValid() const { return m_valid; }
    // Days since 1899-12-30 00:00, local time; meaningful only when valid.
    double date() const { return m_date; }

private:
    explicit ChangeStamp(double date) : m_valid(true), m_date(date) {}

    bool m_valid = false;
    double m_date = 0.0;
};
