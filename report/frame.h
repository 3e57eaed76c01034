// Who the words are for. A message reads the same everywhere; only its hint names the way to fix
// it where it is read: a plan's column, an option of the command line, a field of the page.
#pragma once

enum Frame {
    FRAME_PLAN,      // brevindor-batch apply: a plan file
    FRAME_OPTIONS,   // brevindor-batch's command line (set, scan)
    FRAME_PAGE,      // brevindor-web's page: no option names
};
