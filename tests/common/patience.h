#pragma once

// The longest a test waits for a state it expects (a status, a shown frame, a
// line of output, a process that exits) before it calls the program hung:
// long enough for a sanitizer build on a machine busy with other work, so
// that a wait only fails on a real hang, never on a slow machine.
constexpr int patienceMs = 60000;
