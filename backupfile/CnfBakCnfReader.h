// The reader of ".gpfm" backup configuration files.
#pragma once

// Checks the headers of the backup file gpfmPath, verifies every segment of
// every present table against its stored sum and writes each table as
// "<outDir>\<table>.lz4" (the stored bytes, padding left out). outDir must
// exist. 1 when every present table was checked and written; 0 at the first
// failure, leaving the tables finished before it in outDir.
int ParseGpfmFile(const char* gpfmPath, const char* outDir);
