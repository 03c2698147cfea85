// tavero-skingen: draws every skin bitmap of the three UI modes.
//
//   tavero-skingen --out DIR        DIR/m<mode>/<id>.png and DIR/tavero_skin.qrc (the build's use)
//   tavero-skingen --png-dir DIR    DIR/<id>_m<mode>.png, one flat folder to look through
//   tavero-skingen --sheet DIR      DIR/sheet_m<mode>.png: every bitmap but the backgrounds on one
//                                   page with its id, enlarged twice, for reviewing the look
//   --mode N                        only UI mode N (0, 1 or 2)
//
// Exit status 0 on success, 1 on a usage error or a file that could not be written.

#include "app/skin_layout.h"
#include "skin_description.h"
#include "skin_paint.h"

#include <QDir>
#include <QFile>
#include <QFontInfo>
#include <QGuiApplication>
#include <QPainter>
#include <QSaveFile>
#include <QTextStream>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

namespace {

struct Options {
    QString outDir;
    QString pngDir;
    QString sheetDir;
    int onlyMode = -1;
};

void usage() {
    std::fprintf(stderr, "usage: tavero-skingen [--out DIR] [--png-dir DIR] [--sheet DIR] "
                         "[--mode 0|1|2]\n");
}

bool parse(int argc, char** argv, Options& options) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--out" && hasValue) {
            options.outDir = QString::fromLocal8Bit(argv[++i]);
        } else if (arg == "--png-dir" && hasValue) {
            options.pngDir = QString::fromLocal8Bit(argv[++i]);
        } else if (arg == "--sheet" && hasValue) {
            options.sheetDir = QString::fromLocal8Bit(argv[++i]);
        } else if (arg == "--mode" && hasValue) {
            const std::string_view value = argv[++i];
            if (value.size() != 1 || value[0] < '0' || value[0] > '2') {
                std::fprintf(stderr, "tavero-skingen: --mode takes 0, 1 or 2\n");
                return false;
            }
            options.onlyMode = value[0] - '0';
        } else {
            std::fprintf(stderr, "tavero-skingen: unknown or incomplete argument %s\n", argv[i]);
            return false;
        }
    }
    return !options.outDir.isEmpty() || !options.pngDir.isEmpty() || !options.sheetDir.isEmpty();
}

bool makeFolder(const QString& path) {
    if (QDir().mkpath(path)) {
        return true;
    }
    std::fprintf(stderr, "tavero-skingen: cannot create folder %s\n", qPrintable(path));
    return false;
}

bool savePng(const QImage& image, const QString& path) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || !image.save(&file, "PNG") || !file.commit()) {
        std::fprintf(stderr, "tavero-skingen: cannot write %s\n", qPrintable(path));
        return false;
    }
    return true;
}

// Every bitmap except the backgrounds, enlarged twice, in rows on the skin's base colour.
QImage contactSheet(const std::vector<tavero::skingen::SkinBitmap>& entries) {
    constexpr int kWidth = 2400;
    constexpr int kGap = 16;
    constexpr int kLabel = 18;
    struct Placed {
        QImage image;
        QString label;
        QPoint at;
    };
    std::vector<Placed> placed;
    int x = kGap;
    int y = kGap;
    int rowHeight = 0;
    for (const auto& entry : entries) {
        if (entry.kind == tavero::skingen::BitmapKind::Background) {
            continue;
        }
        const QImage image = tavero::skingen::paintBitmap(entry);
        const QImage big =
            image.scaled(image.size() * 2, Qt::IgnoreAspectRatio, Qt::FastTransformation);
        if (x + big.width() > kWidth - kGap && x > kGap) {
            x = kGap;
            y += rowHeight + kLabel + kGap;
            rowHeight = 0;
        }
        placed.push_back(
            {big, QStringLiteral("%1 %2").arg(entry.id).arg(QString::fromStdString(entry.name)),
             QPoint(x, y)});
        x += std::max(big.width(), 120) + kGap;
        rowHeight = std::max(rowHeight, big.height());
    }
    QImage sheet(kWidth, y + rowHeight + kLabel + 2 * kGap, QImage::Format_RGB32);
    sheet.fill(tavero::skingen::palette::kBase);
    QPainter p(&sheet);
    p.setFont(tavero::skingen::skinFont(12));
    p.setPen(tavero::skingen::palette::kLabel);
    for (const Placed& item : placed) {
        p.drawImage(item.at, item.image);
        p.drawText(item.at + QPoint(0, item.image.height() + 14), item.label);
    }
    return sheet;
}

bool writeQrc(const QString& outDir, const QStringList& files) {
    QSaveFile file(outDir + QStringLiteral("/tavero_skin.qrc"));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text)) {
        std::fprintf(stderr, "tavero-skingen: cannot write the resource list\n");
        return false;
    }
    QTextStream out(&file);
    out << "<!DOCTYPE RCC>\n<RCC version=\"1.0\">\n<qresource prefix=\"/skin\">\n";
    for (const QString& f : files) {
        out << "  <file alias=\"" << f << "\">" << f << "</file>\n";
    }
    out << "</qresource>\n</RCC>\n";
    out.flush();
    if (!file.commit()) {
        std::fprintf(stderr, "tavero-skingen: cannot write the resource list\n");
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    // Drawing needs fonts but no screen.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    Options options;
    if (!parse(argc, argv, options)) {
        usage();
        return 1;
    }
    QGuiApplication app(argc, argv);
    const QString family = QFontInfo(tavero::skingen::skinFont(12)).family();
    if (!family.contains(QStringLiteral("DejaVu"))) {
        std::fprintf(stderr,
                     "tavero-skingen: DejaVu Sans not found (got %s); texts will differ "
                     "(install fonts-dejavu-core)\n",
                     qPrintable(family));
    }

    QStringList resourceFiles;
    int written = 0;
    for (int mode = 0; mode < tavero::app::kSkinModeCount; ++mode) {
        if (options.onlyMode >= 0 && mode != options.onlyMode) {
            continue;
        }
        std::string error;
        const auto entries = tavero::skingen::describeMode(mode, error);
        if (!error.empty()) {
            std::fprintf(stderr, "tavero-skingen: %s\n", error.c_str());
            return 1;
        }
        const QString modeFolder = QStringLiteral("m%1").arg(mode);
        if (!options.outDir.isEmpty() && !makeFolder(options.outDir + '/' + modeFolder)) {
            return 1;
        }
        if (!options.pngDir.isEmpty() && !makeFolder(options.pngDir)) {
            return 1;
        }
        if (!options.sheetDir.isEmpty() &&
            (!makeFolder(options.sheetDir) ||
             !savePng(contactSheet(entries),
                      options.sheetDir + QStringLiteral("/sheet_m%1.png").arg(mode)))) {
            return 1;
        }
        for (const auto& entry : entries) {
            const QImage image = tavero::skingen::paintBitmap(entry);
            if (image.isNull()) {
                std::fprintf(stderr, "tavero-skingen: nothing drawn for bitmap %d (%s)\n", entry.id,
                             entry.name.c_str());
                return 1;
            }
            if (!options.outDir.isEmpty()) {
                const QString name = modeFolder + QStringLiteral("/%1.png").arg(entry.id);
                if (!savePng(image, options.outDir + '/' + name)) {
                    return 1;
                }
                resourceFiles << name;
            }
            if (!options.pngDir.isEmpty() &&
                !savePng(image,
                         options.pngDir + QStringLiteral("/%1_m%2.png").arg(entry.id).arg(mode))) {
                return 1;
            }
            ++written;
        }
    }
    if (!options.outDir.isEmpty() && !writeQrc(options.outDir, resourceFiles)) {
        return 1;
    }
    std::printf("tavero-skingen: %d bitmaps\n", written);
    return 0;
}
