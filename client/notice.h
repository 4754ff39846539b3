// The platform's modal notice: a blocking message with the caption
// "Brox Library" and a single OK button.  The only user-visible output of
// the library; tests link their own definition to observe it.
#pragma once

void notice_show(const char *text);
