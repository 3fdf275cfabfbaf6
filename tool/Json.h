// svpconf --json: one JSON document on stdout for the run, whatever the
// command; the human text goes to stderr. docs/json.md names the fields.
#pragma once

#include <cstdint>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

struct ToolContext;

// Keys keep the order they were added in, so a document reads top-down.
using JsonDoc = nlohmann::ordered_json;

// Whether the command line asks for --json (before the parser has run, so
// that no human text reaches stdout even from the parser itself).
bool JsonAsked(int argc, char** argv);
// Keeps stdout's descriptor for the document and sends everything else
// written to stdout to stderr. False when the descriptors cannot be set.
bool StartJsonOutput();
// The document of this run; every command adds its own fields.
JsonDoc& JsonOut();
// Writes the run's one document to the kept stdout: "command", the fields
// of `doc`, "outcome" (from the exit code) and "exit_code". Only the first
// call writes; false when it could not.
bool EmitJson(const ToolContext& context, const std::string& command, const JsonDoc& doc);

// The document of a run that a second Ctrl-C or kill ends at once: made
// ready when the command is known, written (once, and only when no other
// was) from the signal handler.
void ArmInterruptedJson(const std::string& command);
void EmitInterruptedJson();

// A word as "0xHHHH".
std::string WordText(unsigned word);
// The call's trace lines, each parsed into source, line and text or code
// where it has the system's form, else given whole as "raw".
JsonDoc TraceJson(const std::vector<std::string>& lines);
// The fields of an export's report: result, word, outcome, failure, trace.
void JsonExportReport(const ToolContext& context, int result, std::uint16_t word);
