#include "json_text.h"

namespace tabel {

bool readJsonStringRest(QStringView text, qsizetype& pos, QString& out) {
    while (pos < text.size() && text[pos] != u'"') {
        const QChar c = text[pos++];
        if (c != u'\\') {
            out += c;
            continue;
        }
        if (pos >= text.size())
            return false;
        const char16_t e = text[pos++].unicode();
        switch (e) {
        case u'"':
        case u'\\':
        case u'/':
            out += QChar(e);
            break;
        case u'b':
            out += u'\b';
            break;
        case u'f':
            out += u'\f';
            break;
        case u'n':
            out += u'\n';
            break;
        case u'r':
            out += u'\r';
            break;
        case u't':
            out += u'\t';
            break;
        case u'u': {
            if (pos + 4 > text.size())
                return false;
            bool ok = false;
            const ushort unit = text.mid(pos, 4).toUShort(&ok, 16);
            if (!ok)
                return false;
            out += QChar(unit);
            pos += 4;
            break;
        }
        default:
            return false;
        }
    }
    if (pos >= text.size())
        return false;
    ++pos;
    return true;
}

} // namespace tabel
