// Application-wide settings the window relies on: the widget style, the
// accessible interfaces, Qt's own words in the desktop's language.
#pragma once

namespace pesolane {

void prepareApplication();

}  // namespace pesolane
