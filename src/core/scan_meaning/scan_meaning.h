#pragma once

#include <QList>
#include <QString>
#include <QStringView>

// What a scan says about itself: the symbology its AIM identifier (ISO/IEC 15424)
// names, and for GS1 symbologies the element string split into Application
// Identifiers and checked. Pure: no settings, no transport, no UI.
namespace scan_meaning {

struct Field {
    QString ai;
    QString value;
    friend bool operator==(const Field&, const Field&) = default;
};

// The first fault of GS1 data: the AI it lies in (or that stands where it was found)
// and what is wrong, in English; translated() gives it in the station's language.
struct Fault {
    QString ai;
    const char* what = nullptr; // one of the texts in scan_meaning.cpp; null: no fault
    explicit operator bool() const { return what != nullptr; }
    // "(01): the check digit is wrong"
    QString text() const;
    QString translated() const;
};

struct Meaning {
    QString symbology;   // "]d2"; empty when the scan names none
    bool gs1 = false;    // the data was read as GS1 data: `fields` or `fault` holds it
    QList<Field> fields; // in scanned order, up to the fault
    Fault fault;
};

// text: the scan as the scanner sent it. apart: the identifier a scanner gave apart
// from its data ("" when none); it wins over anything at the start of the text.
Meaning read(QStringView text, QStringView apart = {});

// Reads the table of AIs now, so that the first scan does not wait for it.
void prepare();

// The GS1 check digit of digits[0..n-1]: true when the last one is right.
bool checkDigitOk(QStringView digits);

} // namespace scan_meaning
