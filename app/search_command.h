// The search for a scale, as the command line and the window ask for it:
// which ports, within which settings, what was set up first.
#pragma once

#include <QList>
#include <QStringList>

#include <optional>

#include "probes.h"
#include "search.h"
#include "settings.h"

namespace pesolane {

struct SearchRequest {
    QList<PortChoice> ports;
    SearchScope scope;
    std::optional<Trial> known;  // what is set up already, tried first
    ScaleSettings base;
};

// `settings` as the file and the options set them; `given`, the keys set on
// the command line, which narrow the search to them; `named`, the ports
// named (all the system's when none is, nor --port).
SearchRequest searchRequest(const ScaleSettings& settings, const QStringList& given, const QStringList& named);

// Searches without a window: progress on the error output, the settings
// found on the output and into the settings file. 0 found and written, 1
// not found (nothing written), 130 stopped by Ctrl-C (nothing written).
int searchFromCommandLine(int argc, char** argv, const SearchRequest& request);

}  // namespace pesolane
