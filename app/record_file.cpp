#include "app/record_file.h"

#include <cerrno>

static void keepFileError(RunState& rs)
{
    if (rs.fileError == 0) {
        rs.fileError = errno != 0 ? errno : EIO;
    }
}

void endRecord(RunState& rs)
{
    errno = 0;
    if (fflush(rs.file) != 0 || ferror(rs.file) != 0) {
        keepFileError(rs);
        closeResponseFile(rs);
    }
}

void closeResponseFile(RunState& rs)
{
    if (!rs.fileOutput) {
        return;
    }
    errno = 0;
    if (fclose(rs.file) != 0) {
        keepFileError(rs);
    }
    rs.file = NULL;
    rs.fileOutput = false;
}
