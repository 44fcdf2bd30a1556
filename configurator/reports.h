// The printed configuration and rack interface map, as text.
//
// Both builders end every line with "\n"; the print dialogue writes them with
// carriage return and line feed and closes the report with a form feed.
#pragma once

#include "configurator/config_model.h"

#include <string>

// The configuration summary: the file count, then per file its record and
// key length, windows and maximum record number as the image holds them.
std::string ConfigReportText(const ModuleConfig *c);

// The rack interface map: every parameter and window register with its
// controller address (rackAddress + module address - 1) and module address.
std::string MapReportText(const ModuleConfig *c, int rackAddress);

// The text as a printer takes it: each "\n" as CR LF, a form feed at the end.
std::string PrinterText(const std::string &text);
