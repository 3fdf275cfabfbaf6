// The table conversion that runs on a worker thread under the progress dialog.
#pragma once

// Worker procedure: the argument is the CompressRequest of the dialog, with
// the LZ4 directory and the tables directory in its two path fields.
void Talver_CompressThread2(void* request);
