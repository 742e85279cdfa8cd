#pragma once

// Resource ids shared by the resource script and the code. The application
// icon has the lowest id, so the shell shows it as the program's icon.
#define IDI_TARNWICK 1
// The hand shown over the About dialog's links.
#define IDC_HAND_LINK 2
// The one message of the message table (tarnwick_messages.mc), the event
// id of every event the program writes: its text is the event's one string.
#define TARNWICK_EVENT_REPORT 1
