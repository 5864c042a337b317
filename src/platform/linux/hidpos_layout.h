#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <map>
#include <optional>
#include <vector>

// Where a bar code scanner's HID reports keep the decoded data, read from its report
// descriptor alone: makers put the bytes in different places, so no table of offsets
// is kept. Offsets count from the report's first byte as read from the node (its
// report ID, where the descriptor uses IDs).
struct HidPosLayout {
    // One input report that carries decoded data.
    struct ScanReport {
        int id = 0;             // 0: the descriptor uses no report IDs
        int size = 0;           // bytes, the ID included
        int lengthAt = -1;      // the byte counting the data bytes; -1: the data ends at a NUL
        QList<int> symbologyAt; // the AIM identifier's bytes, in order
        int dataAt = 0;
        int dataSize = 0;
        int continuedBit = -1; // set while more of the scan follows; -1: none
        int continuedBits = 0;
    };

    bool usesIds = false;
    std::map<int, int> inputSizes; // every input report by ID (0: none), bytes with the ID
    std::vector<ScanReport> scans;
    int errorBeepSize = 0; // output report 4's bytes with its ID; 0: the scanner has none

    const ScanReport* scanReport(int id) const;

    struct Parsed;
    // Only a descriptor with an application collection on the bar code scanner page
    // gives a layout.
    static Parsed parse(const QByteArray& descriptor);
};

struct HidPosLayout::Parsed {
    std::optional<HidPosLayout> layout;
    QString error; // why not, in words for diagnostics
    // A scanner's collection was found (the descriptor is a scanner's, if a faulty one).
    bool scanner = false;
};

// Joins a scanner's input reports into scans. A scan longer than one report comes in
// several, each saying that more follows; anything that does not add up (a report
// shorter than its layout, a length beyond the report, a scan that never ends) drops
// the whole scan, never a part of it.
class HidPosAssembler {
  public:
    struct Result {
        QByteArray data;   // the decoded data, bytes as sent; null for a problem
        QString symbology; // the AIM identifier ("]E0"), empty when none came
        QString problem;   // why reports were dropped, for diagnostics
    };
    // Far beyond any bar code (a 2D code holds some 3 KB); a scan longer than this is
    // a device that never clears its flag.
    static constexpr qsizetype kMaxScanBytes = 16384;

    explicit HidPosAssembler(HidPosLayout layout) : layout_(std::move(layout)) {}
    const HidPosLayout& layout() const { return layout_; }

    // One read from the node: whole reports back to back (a real node gives one per
    // read). What remains after the last whole report is a short report.
    std::vector<Result> feed(const QByteArray& bytes);

  private:
    void report(const QByteArray& bytes, const HidPosLayout::ScanReport& layout,
                std::vector<Result>& out);
    void drop(const QString& why, std::vector<Result>& out);

    HidPosLayout layout_;
    QByteArray pending_; // the scan's data so far
    QString symbology_;
    bool inScan_ = false;
    bool spoiled_ = false; // the rest of a dropped scan is dropped too
};

// Bytes a scanner sent as text: UTF-8 where they are valid UTF-8, else Windows-1252.
QString scannedText(const QByteArray& bytes);
