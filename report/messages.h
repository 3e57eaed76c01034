// What the engine's front ends say besides their results: the events on the way, failures in
// words, why no interface could be chosen, warnings of conflicts, and how a job ended. Each
// message is text without the program's name, one line, detail lines after it indented by two
// spaces; the front end adds its name or shows it in the page.
#pragma once

#include <string>
#include <vector>

#include "commission/job.h"
#include "report/frame.h"

// What happened on the way; empty for progress, row states and the undo file (told otherwise).
std::string eventText(const Event& e, Frame frame);

// A failure of the network or the system.
std::string failureText(const Failure& failure);
// A network call's error number in words, for the end of such a line: ": " and the system's text,
// the number, and a hint where a common cause is known; empty for 0.
std::string errorWords(int error);

// Why the interfaces could not be chosen, with the candidates where they help.
std::string choiceFailureText(Choice choice, const std::string& where, const std::vector<LocalInterface>& candidates,
                              Frame frame);

// A warning for every controller flagged by the scan; a conflict names every sender with the IP
// and node name it reported.
std::vector<std::string> conflictWarnings(const std::vector<Sighting>& found, const std::vector<ScanFlag>& flags);
// The same for every row of set or apply in a conflict, saying whether the setting went out.
std::vector<std::string> outcomeWarnings(const std::vector<Outcome>& outcomes);

// How a job ended, beyond its results and each refusal: why no interface, the failure, the undo
// file that can't be written, the refusals counted, the stop, and after a scan that found nothing
// the hints (report/no_answer_text.h). where is the job's --interface.
std::vector<std::string> jobEndMessages(const JobOrder& order, const JobResult& result, Frame frame);

// An exit status in words, as the exit status table of the manual pages has it.
std::string exitStatusText(int status);

// Other messages the front ends share.
std::string undoFileText(const std::string& path);   // where the undo file of a stopped apply is
std::string socketLibraryText();                     // the socket library did not start
std::string outOfMemoryText();
// Why a job can't start now: another runs, or the watch is on (it sends while it runs).
std::string busyText(bool watching);
// A replacement that names one controller twice.
std::string sameControllerText();
