#include "GridFileWarnings.h"

#include "ConverterMessages.h"
#include "app/Format.h"
#include "base/Interaction.h"

#include <QFile>
#include <QStringDecoder>

namespace zandrel {

namespace {

const QString reductionsError = QStringLiteral("<Reductions error=");

QStringDecoder decoderFor(const QByteArray &start, qsizetype &markSize)
{
    if (start.startsWith("\xFF\xFE")) {
        markSize = 2;
        return QStringDecoder(QStringDecoder::Utf16LE);
    }
    if (start.startsWith("\xFE\xFF")) {
        markSize = 2;
        return QStringDecoder(QStringDecoder::Utf16BE);
    }
    if (start.startsWith("\xEF\xBB\xBF")) {
        markSize = 3;
        return QStringDecoder(QStringDecoder::Utf8);
    }
    markSize = 0;
    return QStringDecoder(QStringDecoder::System);
}

// Finds the pattern line by line in a text that arrives in pieces, keeping only the end of the
// current line that a match could still start in, so a huge file costs no more memory than a piece.
class LineScanner {
public:
    void feed(QStringView text)
    {
        while (!text.isEmpty()) {
            if (m_afterCarriageReturn && text.front() == u'\n') {
                text = text.mid(1);
                m_afterCarriageReturn = false;
                continue;
            }
            m_afterCarriageReturn = false;
            qsizetype end = 0;
            while (end < text.size() && text[end] != u'\n' && text[end] != u'\r')
                ++end;
            addToLine(text.left(end));
            if (end == text.size())
                return;
            m_afterCarriageReturn = text[end] == u'\r';
            endLine();
            text = text.mid(end + 1);
        }
    }
    QList<qsizetype> finish()
    {
        if (!m_tail.isEmpty() || m_lineMatched)
            endLine();
        return m_lines;
    }

private:
    void addToLine(QStringView piece)
    {
        if (m_lineMatched || piece.isEmpty())
            return;
        m_tail += piece;
        if (m_tail.contains(reductionsError, Qt::CaseInsensitive))
            m_lineMatched = true;
        else if (m_tail.size() >= reductionsError.size())
            m_tail = m_tail.right(reductionsError.size() - 1);
    }
    void endLine()
    {
        ++m_lineNumber;
        if (m_lineMatched)
            m_lines.append(m_lineNumber);
        m_lineMatched = false;
        m_tail.clear();
    }

    QList<qsizetype> m_lines;
    qsizetype m_lineNumber = 0;
    QString m_tail;
    bool m_lineMatched = false;
    bool m_afterCarriageReturn = false;
};

} // namespace

QList<qsizetype> GridFileWarningLines(const QString &convertedFile)
{
    QFile file(convertedFile);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    qsizetype markSize = 0;
    QStringDecoder decoder = decoderFor(file.peek(3), markSize);
    file.skip(markSize);
    LineScanner scanner;
    constexpr qint64 pieceSize = 1 << 20;
    for (;;) {
        const QByteArray piece = file.read(pieceSize);
        if (piece.isEmpty())
            break;
        const QString text = decoder.decode(piece);
        scanner.feed(text);
    }
    return scanner.finish();
}

QString GridFileWarningText(const QString &geoDataFolder)
{
    return formatText(GetLocalizedString(StringId::GridFileMissing), {geoDataFolder}) +
           QStringLiteral("\r\n") + GetLocalizedString(StringId::GridFileNeeded) + QStringLiteral("\r\n") +
           GetLocalizedString(StringId::NoGridCoordinates);
}

void ShowGridFileWarnings(Interaction &interaction, const QString &convertedFile,
                          const QString &geoDataFolder)
{
    const qsizetype count = GridFileWarningLines(convertedFile).size();
    if (count == 0)
        return;
    const QString text = GridFileWarningText(geoDataFolder);
    for (qsizetype i = 0; i < count; ++i)
        interaction.showMessage(MessageKind::Warning, text);
}

} // namespace zandrel
