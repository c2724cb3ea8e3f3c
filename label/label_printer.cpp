#include "label_printer.h"

#include <cups/cups.h>

#include <QFile>
#include <QFont>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPrinter>
#include <QTemporaryDir>
#include <QTextLayout>
#include <QTextOption>

#include <algorithm>

namespace pesolane {
namespace {

QString fromUtf8(const std::string& s) { return QString::fromUtf8(s.data(), qsizetype(s.size())); }

// The relative size of each kind of line.
double weightOf(LabelLine::Role role) {
    switch (role) {
    case LabelLine::Article: return 1.15;
    case LabelLine::Count: return 1.4;
    case LabelLine::Lot: return 1.0;
    case LabelLine::Detail: return 0.8;
    }
    return 1.0;
}

QFont fontFor(LabelLine::Role role, double unit) {
    QFont f;
    f.setFamilies({QStringLiteral("Liberation Sans")});
    f.setPixelSize(std::max(1, int(unit * weightOf(role))));
    f.setBold(role == LabelLine::Article || role == LabelLine::Count);
    return f;
}

// Lays a line out at `width`, wrapped at blanks (a word longer than the
// width anywhere), and draws it at `at` when a painter is given; gives its height.
double layOut(const LabelLine& l, double unit, double width, QPaintDevice* device, QPainter* p = nullptr,
              QPointF at = {}) {
    QTextLayout layout(fromUtf8(l.text), fontFor(l.role, unit), device);
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    layout.beginLayout();
    double h = 0;
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(width);
        line.setPosition(QPointF(0, h));
        h += line.height();
    }
    layout.endLayout();
    if (p) layout.draw(p, at);
    return h;
}

double heightOf(const std::vector<LabelLine>& lines, double unit, double width, QPaintDevice* device) {
    double h = 0;
    for (const LabelLine& l : lines) h += layOut(l, unit, width, device);
    return h;
}

}  // namespace

QString drawLabel(const LabelContent& label, const LabelSettings& settings, const QString& path) {
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(path);
    printer.setFontEmbeddingEnabled(true);
    printer.setCreator(QStringLiteral("Pesolane"));
    printer.setDocName(QStringLiteral("Étiquette"));
    // The size as portrait, turned by the orientation.
    const QPageSize size(QSizeF(std::min(settings.widthMm, settings.heightMm), std::max(settings.widthMm, settings.heightMm)),
                         QPageSize::Millimeter, QString(), QPageSize::ExactMatch);
    const QPageLayout::Orientation orientation =
        settings.widthMm > settings.heightMm ? QPageLayout::Landscape : QPageLayout::Portrait;
    printer.setPageLayout(QPageLayout(size, orientation, QMarginsF(0, 0, 0, 0), QPageLayout::Millimeter));
    QPainter p;
    if (!p.begin(&printer)) return QStringLiteral("la page de l'étiquette n'a pas pu être préparée");

    const double dpmm = printer.resolution() / 25.4;  // device pixels per millimetre
    const QRectF page(0, 0, settings.widthMm * dpmm, settings.heightMm * dpmm);
    const double margin = 2 * dpmm;
    const QRectF inner = page.adjusted(margin, margin, -margin, -margin);

    // The barcode of the counting's number along the bottom, its quiet zones
    // of ten modules on each side; a module from 0.19 to 0.5 mm.
    const Barcode bars = label.number > 0 ? code128(std::to_string(label.number)) : Barcode{};
    double barsHeight = 0;
    if (!bars.bars.empty()) {
        const double module = std::clamp(inner.width() / (bars.width + 20), 0.19 * dpmm, 0.5 * dpmm);
        barsHeight = std::clamp(inner.height() * 0.25, 5 * dpmm, 15 * dpmm);
        const double left = inner.left() + (inner.width() - bars.width * module) / 2;
        const double top = inner.bottom() - barsHeight;
        p.setPen(Qt::NoPen);
        p.setBrush(Qt::black);
        for (const Bar& b : bars.bars)
            p.drawRect(QRectF(left + b.x * module, top, b.width * module, barsHeight));
    }

    // The text above it, as large as fits: wrapped at blanks (a word longer
    // than the width anywhere), never cut.
    const std::vector<LabelLine> lines = labelLines(label);
    const QRectF text(inner.left(), inner.top(), inner.width(), inner.height() - barsHeight - (barsHeight > 0 ? dpmm : 0));
    double lo = 1.2 * dpmm, hi = text.height();  // the font unit: 1.2 mm is about 5 points at the smallest
    for (int i = 0; i < 24; ++i) {
        const double mid = (lo + hi) / 2;
        (heightOf(lines, mid, text.width(), &printer) <= text.height() ? lo : hi) = mid;
    }
    const double unit = std::min(lo, 4.5 * dpmm);
    p.setPen(Qt::black);
    double y = text.top();
    for (const LabelLine& l : lines) y += layOut(l, unit, text.width(), &printer, &p, QPointF(text.left(), y));
    if (!p.end()) return QStringLiteral("la page de l'étiquette n'a pas pu être écrite");
    return {};
}

QString sendToQueue(const QString& path, const LabelSettings& settings, const QString& title) {
    const QByteArray name = settings.printer.toUtf8();
    // The scheduler asked first: a queue cannot be told missing by one that does not answer.
    http_t* http = httpConnect2(cupsServer(), ippPort(), nullptr, AF_UNSPEC, cupsEncryption(), 1, 5000, nullptr);
    if (!http) return QStringLiteral("le service d'impression (CUPS) ne répond pas");
    cups_dest_t* dest = cupsGetNamedDest(http, name.isEmpty() ? nullptr : name.constData(), nullptr);
    if (!dest) {
        httpClose(http);
        if (name.isEmpty()) return QStringLiteral("aucune imprimante par défaut n'est configurée");
        return QStringLiteral("la file d'impression « %1 » n'existe pas").arg(settings.printer);
    }
    const QString queue = QString::fromUtf8(dest->name);
    const char* state = cupsGetOption("printer-state", dest->num_options, dest->options);
    const char* accepting = cupsGetOption("printer-is-accepting-jobs", dest->num_options, dest->options);
    QString failure;
    if (state && QByteArray(state) == "5") {
        failure = QStringLiteral("l'imprimante « %1 » est arrêtée").arg(queue);
    } else if (accepting && QByteArray(accepting) == "false") {
        failure = QStringLiteral("l'imprimante « %1 » refuse les travaux").arg(queue);
    } else if (cupsPrintFile2(http, dest->name, QFile::encodeName(path).constData(), title.toUtf8().constData(), 0,
                              nullptr) == 0) {
        failure = QStringLiteral("l'imprimante « %1 » n'a pas pris l'étiquette : %2")
                      .arg(queue, QString::fromUtf8(cupsLastErrorString()));
    }
    cupsFreeDests(1, dest);
    httpClose(http);
    return failure;
}

QString printLabelNow(const LabelContent& label, const LabelSettings& settings) {
    QTemporaryDir dir;
    if (!dir.isValid()) return QStringLiteral("aucun dossier temporaire ne s'écrit");
    const QString pdf = dir.filePath(QStringLiteral("etiquette.pdf"));
    QString failure = drawLabel(label, settings, pdf);
    if (failure.isEmpty())
        failure = sendToQueue(pdf, settings,
                              label.number > 0 ? QStringLiteral("Comptage %1").arg(label.number) : QStringLiteral("Comptage"));
    return failure;
}

LabelPrinter::LabelPrinter(LabelSettings settings, QObject* parent)
    : QObject(parent), settings_(std::move(settings)), worker_(new QObject) {
    thread_.setObjectName(QStringLiteral("labels"));
    worker_->moveToThread(&thread_);
    connect(&thread_, &QThread::finished, worker_, &QObject::deleteLater);
    thread_.start();
}

LabelPrinter::~LabelPrinter() {
    thread_.quit();
    thread_.wait();
}

void LabelPrinter::print(const LabelContent& label) {
    QMetaObject::invokeMethod(worker_, [this, label, settings = settings_] {
        const QString failure = printLabelNow(label, settings);
        QMetaObject::invokeMethod(this, [this, failure, queue = settings.printer] { emit done(failure, queue); },
                                  Qt::QueuedConnection);
    }, Qt::QueuedConnection);
}

}  // namespace pesolane
