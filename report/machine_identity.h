// Machine identity: the run identifier and the adapter address lists that the
// status reports and the finish page carry. Plain functions without state
// besides the constant list of virtual-machine address prefixes; safe to call
// from any thread.
#pragma once

#include <string>
#include <vector>

#include "platform/adapters.h"

// A fresh random identifier on every call: 32 upper-case hex digits.
std::string MakeMachineGuid();

// MAC texts ("00-1a-2b-3c-4d-5e") of the first three adapters without the
// virtual-machine ones, sorted; empty when the table cannot be read.
std::vector<std::string> GetMacAddressList();
std::vector<std::string> GetMacAddressList(const IAdapterProvider& adapters);

// Colon-joined MAC texts of the PCI or physical adapters (any position), else
// of the first three non-virtual ones, else of the first three; sorted.
// "" when the table cannot be read (logged).
std::string GetClientMacString();
std::string GetClientMacString(const IAdapterProvider& adapters);

// The system provider's PCI and physical-adapter tests.
bool IsPciAdapter(const char* adapterName);
bool IsPhysicalAdapter(const char* adapterName);

// Colon-joined MAC texts of the first three adapters, unfiltered; "" on failure (logged).
std::string GetFirstMacs();
std::string GetFirstMacs(const IAdapterProvider& adapters);

// Sorts the pieces of a colon-joined list; a single piece comes back unchanged.
std::string NormalizeMacList(const std::string& text);

// Appends the non-empty pieces of `text` cut at every `delimiter` to `out`;
// returns how many were appended (0 for an empty text or delimiter).
int SplitString(const std::string& text, const std::string& delimiter,
                std::vector<std::string>& out);

// Helpers shared with the tests: the six-byte MAC text and the prefix rule.
std::string FormatMacText(const AdapterRecord& adapter);
bool IsVirtualMachineMac(const std::string& macText);
