#include "core/scan_meaning/scan_meaning.h"

#include <QCoreApplication>

#include <array>
#include <cstring>
#include <vector>

#include "core/scan_meaning/ai_table.inc"

namespace scan_meaning {

namespace {

const char* const kUnknownAi = QT_TRANSLATE_NOOP("ScanMeaning", "unknown AI");
const char* const kSeparator =
    QT_TRANSLATE_NOOP("ScanMeaning", "a separator where an AI should begin");
const char* const kNotNumeric = QT_TRANSLATE_NOOP("ScanMeaning", "only digits are allowed");
const char* const kBadCharacter =
    QT_TRANSLATE_NOOP("ScanMeaning", "a character that is not allowed");
const char* const kTooShort = QT_TRANSLATE_NOOP("ScanMeaning", "the data is too short");
const char* const kTooLong = QT_TRANSLATE_NOOP("ScanMeaning", "the data is too long");
const char* const kCheckDigit = QT_TRANSLATE_NOOP("ScanMeaning", "the check digit is wrong");
const char* const kDate = QT_TRANSLATE_NOOP("ScanMeaning", "not a valid date");
const char* const kTime = QT_TRANSLATE_NOOP("ScanMeaning", "not a valid time");

constexpr char16_t kGS = 0x1D; // FNC1 as a scanner sends it: ends a variable-length field

enum class Check : quint8 { none, csum, date, date0, hhmm };

struct Component {
    char set = 'N'; // N, X, Y or Z
    quint8 min = 0;
    quint8 max = 0;
    bool optional = false;
    Check check = Check::none;
};

struct Entry {
    std::vector<Component> components;
    int length = 0;          // the field's longest length
    bool predefined = false; // no separator follows it
    bool primaryKey = false; // may start a Digital Link path
};

// AIs of 2, 3 and 4 digits; GS1 never gives one AI as the prefix of another.
class Table {
  public:
    Table() {
        slots2_.fill(-1);
        slots3_.fill(-1);
        slots4_.fill(-1);
        const QByteArray text(kAiTable);
        for (const QByteArray& raw : text.split('\n')) {
            const QList<QByteArray> words = raw.simplified().split(' ');
            if (words.size() < 2)
                continue;
            QByteArray ais = words[0];
            Entry entry;
            entry.primaryKey = ais.endsWith('*');
            if (entry.primaryKey)
                ais.chop(1);
            for (qsizetype i = 1; i < words.size(); ++i)
                entry.components.push_back(component(words[i]));
            for (const Component& c : entry.components)
                entry.length += c.max;
            const QList<QByteArray> range = ais.split('-');
            const int width = static_cast<int>(range[0].size());
            entry.predefined =
                QByteArray(kPredefinedPrefixes).split(' ').contains(range[0].left(2));
            const int from = range[0].toInt();
            const int to = range.size() > 1 ? range[1].toInt() : from;
            entries_.push_back(std::move(entry));
            for (int ai = from; ai <= to; ++ai)
                slot(width, ai) = static_cast<qint16>(entries_.size() - 1);
        }
    }

    // The AI at the start of `data`: its width, or 0 when the table has none there.
    int find(QStringView data, const Entry*& entry) const {
        int number = 0;
        for (int width = 1; width <= 4 && width <= data.size(); ++width) {
            const char16_t c = data[width - 1].unicode();
            if (c < '0' || c > '9')
                return 0;
            number = number * 10 + (c - '0');
            if (width >= 2 && slot(width, number) >= 0) {
                entry = &entries_[static_cast<size_t>(slot(width, number))];
                return width;
            }
        }
        return 0;
    }

  private:
    static Component component(QByteArray word) {
        Component c;
        c.optional = word.startsWith('?');
        if (c.optional)
            word.remove(0, 1);
        const qsizetype comma = word.indexOf(',');
        const QByteArray check = comma < 0 ? QByteArray() : word.mid(comma + 1);
        word.truncate(comma < 0 ? word.size() : comma);
        c.set = word[0];
        const bool variable = word.mid(1, 2) == "..";
        c.max = static_cast<quint8>(word.mid(variable ? 3 : 1).toInt());
        c.min = variable ? 1 : c.max;
        c.check = check == "csum"    ? Check::csum
                  : check == "date"  ? Check::date
                  : check == "date0" ? Check::date0
                  : check == "hhmm"  ? Check::hhmm
                                     : Check::none;
        return c;
    }
    qint16& slot(int width, int ai) {
        return width == 2 ? slots2_[ai] : width == 3 ? slots3_[ai] : slots4_[ai];
    }
    qint16 slot(int width, int ai) const {
        return width == 2 ? slots2_[ai] : width == 3 ? slots3_[ai] : slots4_[ai];
    }

    std::vector<Entry> entries_;
    std::array<qint16, 100> slots2_{};
    std::array<qint16, 1000> slots3_{};
    std::array<qint16, 10000> slots4_{};
};

const Table& table() {
    static const Table t;
    return t;
}

bool inSet(char set, char16_t c) {
    if (c >= '0' && c <= '9')
        return true;
    if (set == 'N')
        return false;
    const bool upper = c >= 'A' && c <= 'Z';
    const bool lower = c >= 'a' && c <= 'z';
    switch (set) {
    case 'Y':
        return upper || c == '#' || c == '-' || c == '/';
    case 'Z':
        return upper || lower || c == '-' || c == '_' || c == '=';
    default:
        return upper || lower || (c < 0x80 && std::strchr("!\"%&'()*+,-./:;<=>?_", c) && c != 0);
    }
}

int number(QStringView digits) {
    int n = 0;
    for (const QChar c : digits)
        n = n * 10 + (c.unicode() - '0');
    return n;
}

bool dateOk(QStringView yymmdd, bool dayZero) {
    const int year = number(yymmdd.mid(0, 2));
    const int month = number(yymmdd.mid(2, 2));
    const int day = number(yymmdd.mid(4, 2));
    if (month < 1 || month > 12)
        return false;
    if (day == 0)
        return dayZero;
    // Whatever century GS1's sliding window puts YY in until 2049, only YY 00 (2000)
    // falls on a century, and 2000 was a leap year.
    static constexpr int days[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return day <= days[month - 1] && (month != 2 || day < 29 || year % 4 == 0);
}

// The first fault of one field's data against its components; null when it has none.
const char* checkField(QStringView value, const Entry& entry) {
    qsizetype at = 0;
    for (const Component& c : entry.components) {
        const qsizetype left = value.size() - at;
        if (c.optional && left == 0)
            break;
        if (left < c.min)
            return kTooShort;
        const qsizetype size = std::min<qsizetype>(left, c.max);
        const QStringView part = value.mid(at, size);
        for (const QChar ch : part) {
            if (!inSet(c.set, ch.unicode()))
                return c.set == 'N' ? kNotNumeric : kBadCharacter;
        }
        switch (c.check) {
        case Check::csum:
            if (!checkDigitOk(part))
                return kCheckDigit;
            break;
        case Check::date:
        case Check::date0:
            if (!dateOk(part, c.check == Check::date0))
                return kDate;
            break;
        case Check::hhmm:
            if (number(part.mid(0, 2)) > 23 || number(part.mid(2, 2)) > 59)
                return kTime;
            break;
        case Check::none:
            break;
        }
        at += size;
    }
    return at < value.size() ? kTooLong : nullptr;
}

// What to call the AI at the start of `data` when the table has none there: as many
// digits as AIs starting that way have.
QString aiNameAt(QStringView data) {
    qsizetype n = 0;
    while (n < 4 && n < data.size() && data[n].isDigit() && data[n].unicode() < 0x80)
        ++n;
    if (n >= 2) {
        const int prefix = number(data.mid(0, 2));
        const int width =
            (prefix >= 23 && prefix <= 25) || (prefix >= 40 && prefix <= 42) || prefix == 71 ? 3
            : (prefix >= 31 && prefix <= 36) || prefix == 39 || prefix == 43 || prefix == 70 ||
                    (prefix >= 72 && prefix <= 89)
                ? 4
                : 2;
        n = std::min<qsizetype>(n, width);
    }
    return data.first(n).toString();
}

// An element string: AIs and their data, with a separator after each field of
// variable length that is not the last.
void readElements(QStringView data, Meaning& out) {
    const Table& t = table();
    qsizetype at = 0;
    while (at < data.size()) {
        const QStringView rest = data.mid(at);
        if (rest[0] == kGS) {
            out.fault = {aiNameAt(rest.mid(1)), kSeparator};
            return;
        }
        const Entry* entry = nullptr;
        const int width = t.find(rest, entry);
        if (width == 0) {
            out.fault = {aiNameAt(rest), kUnknownAi};
            return;
        }
        const QString ai = rest.first(width).toString();
        // A predefined length ends the field by itself; anything else runs to the
        // separator (or the end) and is then held to its bounds.
        const qsizetype from = at + width;
        const qsizetype limit =
            entry->predefined ? std::min(from + entry->length, data.size()) : data.size();
        const qsizetype gs = data.first(limit).indexOf(QChar(kGS), from);
        const qsizetype end = gs < 0 ? limit : gs;
        const QStringView value = data.mid(at + width, end - at - width);
        if (const char* what = checkField(value, *entry)) {
            out.fault = {ai, what};
            return;
        }
        out.fields.append({ai, value.toString()});
        at = end < data.size() && data[end] == kGS ? end + 1 : end;
    }
}

// EAN-13 / UPC-A (13 digits) or EAN-8 (8 digits): the GTIN, as AI 01.
void readEan(QStringView data, qsizetype digits, Meaning& out) {
    const QString ai = QStringLiteral("01");
    for (const QChar c : data) {
        if (c.unicode() < '0' || c.unicode() > '9') {
            out.fault = {ai, kNotNumeric};
            return;
        }
    }
    if (data.size() != digits)
        out.fault = {ai, data.size() < digits ? kTooShort : kTooLong};
    else if (!checkDigitOk(data))
        out.fault = {ai, kCheckDigit};
    else
        out.fields.append({ai, QString(14 - digits, QLatin1Char('0')) + data.toString()});
}

QString percentDecoded(QStringView part) {
    return QString::fromUtf8(QByteArray::fromPercentEncoding(part.toUtf8()));
}

// A GS1 Digital Link URI: the AIs of its path (from the primary key on), then those
// of its query. False when the text is no such URI.
bool readDigitalLink(QStringView uri, Meaning& out) {
    const bool https = uri.startsWith(QLatin1String("https://"), Qt::CaseInsensitive);
    if (!https && !uri.startsWith(QLatin1String("http://"), Qt::CaseInsensitive))
        return false;
    uri = uri.mid(https ? 8 : 7);
    if (const qsizetype hash = uri.indexOf(QLatin1Char('#')); hash >= 0)
        uri = uri.first(hash);
    const qsizetype query = uri.indexOf(QLatin1Char('?'));
    const QStringView path = uri.first(query < 0 ? uri.size() : query);
    const qsizetype slash = path.indexOf(QLatin1Char('/'));
    if (slash < 0)
        return false;
    QList<QStringView> segments = path.mid(slash + 1).split(QLatin1Char('/'));
    while (!segments.isEmpty() && segments.last().isEmpty())
        segments.removeLast(); // a closing slash
    const Table& t = table();
    const auto aiOf = [&](QStringView segment) -> const Entry* {
        const Entry* entry = nullptr;
        return t.find(segment, entry) == segment.size() ? entry : nullptr;
    };
    // The path may start with the resolver's own segments: the AIs are the pairs
    // that run to its end, beginning with a primary key.
    qsizetype first = -1;
    for (qsizetype i = 0; i + 1 < segments.size() && first < 0; ++i) {
        const Entry* key = aiOf(segments[i]);
        if (!key || !key->primaryKey || (segments.size() - i) % 2 != 0)
            continue;
        bool pairs = true;
        for (qsizetype k = i + 2; k < segments.size() && pairs; k += 2)
            pairs = aiOf(segments[k]) != nullptr;
        if (pairs)
            first = i;
    }
    if (first < 0)
        return false;
    QList<std::pair<QStringView, QString>> found;
    for (qsizetype i = first; i < segments.size(); i += 2)
        found.append({segments[i], percentDecoded(segments[i + 1])});
    if (query >= 0) {
        for (const QStringView pair : uri.mid(query + 1).split(QLatin1Char('&'))) {
            const qsizetype eq = pair.indexOf(QLatin1Char('='));
            if (eq > 0 && aiOf(pair.first(eq))) // other parameters are the resolver's
                found.append({pair.first(eq), percentDecoded(pair.mid(eq + 1))});
        }
    }
    out.gs1 = true;
    for (auto& [ai, value] : found) {
        // A GTIN-8, -12 or -13 stands in the URI without its leading zeros.
        if (ai == QLatin1String("01") &&
            (value.size() == 8 || value.size() == 12 || value.size() == 13))
            value.prepend(QString(14 - value.size(), QLatin1Char('0')));
        if (const char* what = checkField(value, *aiOf(ai))) {
            out.fault = {ai.toString(), what};
            return true;
        }
        out.fields.append({ai.toString(), value});
    }
    return true;
}

bool isIdentifier(QStringView s) {
    const auto alnum = [](char16_t c) {
        return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
    };
    return s.size() == 3 && s[0] == QLatin1Char(']') && alnum(s[1].unicode()) &&
           !(s[1].unicode() >= '0' && s[1].unicode() <= '9') && alnum(s[2].unicode());
}

} // namespace

QString Fault::text() const {
    return what ? QStringLiteral("(%1): %2").arg(ai, QLatin1String(what)) : QString();
}

QString Fault::translated() const {
    return what ? QStringLiteral("(%1): %2")
                      .arg(ai, QCoreApplication::translate("ScanMeaning", what))
                : QString();
}

void prepare() {
    table();
}

bool checkDigitOk(QStringView digits) {
    if (digits.size() < 2)
        return false;
    int sum = 0;
    int weight = 3; // from the digit before the check digit leftwards: 3, 1, 3, ...
    for (qsizetype i = digits.size() - 2; i >= 0; --i) {
        sum += (digits[i].unicode() - '0') * weight;
        weight = 4 - weight;
    }
    return (10 - sum % 10) % 10 == digits.last().unicode() - '0';
}

Meaning read(QStringView text, QStringView apart) {
    Meaning out;
    QStringView data = text;
    if (isIdentifier(apart)) {
        out.symbology = apart.toString();
    } else if (text.size() >= 3 && isIdentifier(text.first(3))) {
        out.symbology = text.first(3).toString();
        data = text.mid(3);
    } else {
        return out;
    }
    if (data.isEmpty())
        return out;
    const QStringView id = out.symbology;
    if (id == QLatin1String("]C1") || id == QLatin1String("]d2") || id == QLatin1String("]Q3") ||
        id == QLatin1String("]e0") || id == QLatin1String("]J1") || id == QLatin1String("]z1")) {
        out.gs1 = true;
        readElements(data, out);
    } else if (id == QLatin1String("]E0") || id == QLatin1String("]E4")) {
        out.gs1 = true;
        readEan(data, id == QLatin1String("]E0") ? 13 : 8, out);
    } else if (id == QLatin1String("]Q1") || id == QLatin1String("]d1")) {
        readDigitalLink(data, out);
    }
    return out;
}

} // namespace scan_meaning
