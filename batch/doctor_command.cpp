#include "batch/commands.h"
#include "batch/output.h"
#include "commission/doctor.h"
#include "report/doctor_text.h"

int runDoctorCommand(const Settings& s)
{
    DoctorOrder order;
    order.where = s.where;
    order.scan = s.apply.scan;
    order.scan.progressEvery = statusShown() ? STATUS_EVERY_S : 0;
    DoctorResult result = runDoctor(order, {showEvent, nullptr});
    clearStatus();
    writeResult(doctorText(s.format, result.findings, result.status, WINDOWS_HOST));
    return result.status;
}
