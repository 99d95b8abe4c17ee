#pragma once

// Gives the heap pages that work has freed back to the system once the
// application has been quiet for a moment. Each lookup builds and drops
// large texts (answers, rendered pages) between long-lived small objects;
// the C library keeps the freed pages between them, so without this the
// main process grew by a few kilobytes with every lookup and never shrank.
// Safe from any thread; repeated calls within the quiet time trim once.
namespace heaptrim {

void soon();
// At once, on the calling thread: after one large piece of work whose
// memory should not wait for a quiet moment (an import about to be shown).
void now();

}  // namespace heaptrim
