// The handover report: one self-contained HTML page (inline CSS, no script, nothing fetched),
// printable on A4 portrait, the table's head repeated on every page, every text escaped.
#pragma once

#include <string>

#include "commission/handover.h"

std::string handoverHtml(const Handover& handover, const HandoverMaker& maker);

// Text made safe for HTML: &, <, >, " and ' as entities.
std::string htmlEscape(const std::string& text);
