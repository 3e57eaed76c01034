#include "batch/commands.h"
#include "batch/output.h"
#include "commission/doctor.h"
#include "report/doctor_text.h"

int runDoctorCommand(const Settings& s)
{
    DoctorSpec spec;
    spec.where = s.where;
    spec.scan = s.apply.scan;
    spec.scan.progressEvery = statusShown() ? STATUS_EVERY_S : 0;
    DoctorResult result = runDoctor(spec, {showEvent, nullptr});
    clearStatus();
    writeResult(doctorText(s.format, result.findings, result.status, WINDOWS_HOST));
    return result.status;
}
