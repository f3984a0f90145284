#pragma once

// The debugger output of the Windows code the engine stands for: each text
// becomes one line on standard error when TAVOPLAYER_DEBUG_OUTPUT=1 is set
// (as a debugger would show it), and goes nowhere otherwise.
void OutputDebugStringA(const char* text);
