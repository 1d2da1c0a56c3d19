#pragma once

class QDeadlineTimer;
class QTimer;

// Arms the timer of one blocking call: the call's own time-out in seconds (none when not
// positive), cut short where the session's deadline comes first. False when no time is
// left at all, so that the call fails at once as timed out.
bool ArmCallTimer(QTimer& timer, int timeoutSeconds, const QDeadlineTimer& sessionEnd);
