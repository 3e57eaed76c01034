#include "commission/outcome_names.h"

static const struct {
    OutcomeState state;
    const char* name;
} STATE_NAMES[] = {
    {OUTCOME_VERIFIED, "verified"},
    {OUTCOME_UNCHANGED, "unchanged"},
    {OUTCOME_NOT_FOUND, "not found"},
    {OUTCOME_NOT_CONFIRMED, "not confirmed"},
    {OUTCOME_SENT, "sent"},
    {OUTCOME_WOULD_SEND, "would send"},
    {OUTCOME_CONFLICT, "conflict"},
    {OUTCOME_INTERRUPTED, "interrupted"},
    {OUTCOME_CONFLICT_AFTER_SENDING, "conflict after sending"},
};

const char* outcomeStateName(OutcomeState state)
{
    for (const auto& n : STATE_NAMES) {
        if (n.state == state) {
            return n.name;
        }
    }
    return "";
}

bool outcomeStateOf(const std::string& name, OutcomeState* state)
{
    for (const auto& n : STATE_NAMES) {
        if (name == n.name) {
            *state = n.state;
            return true;
        }
    }
    return false;
}
