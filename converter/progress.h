// A progress line on standard error for work that takes a while: after a
// second, and only when standard error is a terminal, "bsv2-convert:
// reading big.obj 42% (3 s)" is redrawn in place four times a second until
// the work ends, and then erased.
#ifndef CONVERTER_PROGRESS_H
#define CONVERTER_PROGRESS_H

// Starts showing `what` (such as "reading big.obj"); ends any earlier one.
// The line goes to the standard error the process had when this is first
// called, so capturing descriptor 2 later does not swallow it.
void startProgress(const char *what);
// The share done, from 0 to 1, when it is known; the line shows it.
void setProgressShare(double share);
// Erases the line and stops the drawing.
void endProgress();

#endif
