#include "common.h"

#include <QByteArray>

#include "form1.h"

namespace pesolane {

std::optional<double> readNumber(const Form1& form, Ctl box) {
    const QByteArray utf8 = form.text(box).toUtf8();
    const LeadingRead read = LeadingNumber(std::string_view(utf8.constData(), static_cast<std::size_t>(utf8.size())));
    if (read.outOfRange) return std::nullopt;
    return read.value;
}

void writeMasked(Form1& form, Ctl box, double value, const Mask& mask) {
    form.setText(box, MaskedText(value, mask, form.decimalSeparator()));
}

void writeLocale(Form1& form, Ctl box, double value) {
    form.setText(box, LocaleText(value, form.decimalSeparator()));
}

void refuseOutOfRange(Form1& form, std::initializer_list<Ctl> withdraw) {
    form.setShown(withdraw, false);
    form.reportOutOfRange();
}

}  // namespace pesolane
