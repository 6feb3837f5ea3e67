#include "data_stamp.h"

#include "db/report_connection.h"

namespace tabel::reports {

void stampDataTime(reportengine::Page& page, const reportengine::Document& setup,
                   const QDateTime& asOf) {
    const QString text = dataAsOfText(asOf);
    if (text.isEmpty())
        return;
    reportengine::PlacedText stamp;
    const double width = 70;
    const double height = 4;
    // In the margin above the printable area, where no band ever goes.
    stamp.rect = QRectF(setup.contentSize().width() - width, -height - 1, width, height);
    stamp.text = text;
    stamp.align = reportengine::Align::Right;
    stamp.fontSize = 7;
    page.texts.append(stamp);
}

void stampDataTime(reportengine::Document& doc, const QDateTime& asOf) {
    for (reportengine::Page& page : doc.pages)
        stampDataTime(page, doc, asOf);
}

} // namespace tabel::reports
