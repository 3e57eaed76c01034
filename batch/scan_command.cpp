#include "batch/commands.h"
#include "batch/output.h"
#include "commission/job.h"
#include "report/messages.h"
#include "report/scan_forms.h"

int runScan(const Settings& s)
{
    JobOrder order;
    order.kind = JOB_SCAN;
    order.where = s.where;
    order.options = s.apply;
    order.options.scan.progressEvery = statusShown() ? STATUS_EVERY_S : 0;
    JobResult result = runJob(order, {showEvent, nullptr});
    clearStatus();
    if (result.end == JOB_FINISHED) {
        say(conflictWarnings(result.found, result.flags));
        writeResult((s.bom ? BYTE_ORDER_MARK : "") + scanText(s.format, result.found, result.flags));
    }
    say(jobEndMessages(order, result, FRAME_OPTIONS));
    return result.status;
}
