// The agenda's two tree orders.
#pragma once

// By score (unsigned), then by choice vector: the best item sorts last.
int compare_by_score(const void *a, const void *b);

// By choice vector alone: element by element, as addresses, null lowest.
int compare_by_choice(const void *a, const void *b);
