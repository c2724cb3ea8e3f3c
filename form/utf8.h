// The control table's texts are UTF-8 views; the widgets take QString.
#pragma once

#include <QString>

#include <string_view>

namespace pesolane {

inline QString fromUtf8(std::string_view s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }

}  // namespace pesolane
