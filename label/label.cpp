#include "label.h"

#include <zint.h>

#include <memory>

namespace pesolane {

std::string withoutTrailingSeparator(const std::string& shown) {
    // The separator is the last character, or the last UTF-8 character (a
    // locale's separator may be more than one byte): what follows the digits.
    std::size_t end = shown.size();
    while (end > 0 && !(shown[end - 1] >= '0' && shown[end - 1] <= '9')) --end;
    return shown.substr(0, end);
}

std::vector<LabelLine> labelLines(const LabelContent& l) {
    std::vector<LabelLine> lines;
    lines.push_back({LabelLine::Article, l.article.empty() ? std::string("Article non précisé") : l.article});
    lines.push_back({LabelLine::Count, withoutTrailingSeparator(l.count) + " pièces ± " + withoutTrailingSeparator(l.incertitude)});
    if (l.lot) {
        const LabelLot& lot = *l.lot;
        std::string weight = withoutTrailingSeparator(lot.weight);
        if (!lot.unit.empty()) weight += ' ' + lot.unit;
        lines.push_back({LabelLine::Lot, "Lot " + std::to_string(lot.rank) + " : " + lot.pieces + " pièces, " + weight +
                                             " ± " + withoutTrailingSeparator(lot.incertitude) + " pièces"});
    }
    // 2026-12-08T09:14:03+01:00 as "08/12/2026 09:14".
    std::string when = l.when;
    if (when.size() >= 16 && when[4] == '-' && when[7] == '-' && when[10] == 'T')
        when = when.substr(8, 2) + '/' + when.substr(5, 2) + '/' + when.substr(0, 4) + ' ' + when.substr(11, 5);
    lines.push_back({LabelLine::Detail, when + " · " + l.station + " · " + l.operatorName});
    lines.push_back({LabelLine::Detail, l.number > 0 ? "Comptage n° " + std::to_string(l.number)
                                                     : std::string("Comptage non enregistré")});
    return lines;
}

Barcode code128(const std::string& data) {
    Barcode b;
    const std::unique_ptr<zint_symbol, void (*)(zint_symbol*)> symbol(ZBarcode_Create(), ZBarcode_Delete);
    if (!symbol) return {0, 0, {}, "libzint n'a pas pu être initialisée"};
    symbol->symbology = BARCODE_CODE128;
    symbol->show_hrt = 0;
    const int rc = ZBarcode_Encode(symbol.get(), reinterpret_cast<const unsigned char*>(data.data()), int(data.size()));
    if (rc >= ZINT_ERROR || ZBarcode_Buffer_Vector(symbol.get(), 0) >= ZINT_ERROR || !symbol->vector)
        return {0, 0, {}, symbol->errtxt};
    b.width = symbol->vector->width;
    b.height = symbol->vector->height;
    for (const zint_vector_rect* r = symbol->vector->rectangles; r; r = r->next)
        b.bars.push_back({r->x, r->y, r->width, r->height});
    return b;
}

}  // namespace pesolane
