#pragma once

// The threads of this test process now (linux/ and win32/ ask the system); -1 when they
// cannot be counted.
long ThreadsOfThisProcess();
