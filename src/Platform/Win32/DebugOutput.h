#pragma once

// The debugger output of the Windows code the engine stands for: each text
// becomes one line on standard error.
void OutputDebugStringA(const char* text);
