#pragma once
// The field module's configuration text protocol: reading its firmware release,
// reading its configuration, writing a new configuration. The requests leave through
// the send operation (Button10), so they must fit TxText with its terminating zero.
#include <string>

namespace tool {

class TMainForm;

// The configuration write request built from the twelve fields' current texts:
// "<config_begin" CR LF, then each key with its field's text and CR LF, then
// "config_end>" CR LF. The texts are taken unchanged.
std::string BuildConfigWriteRequest(const TMainForm& form);

// The bytes of the write request besides the twelve values, and the most that the
// values may hold together for the request to fit TxText.
constexpr size_t ConfigWriteFixedSize = 136;
constexpr size_t ConfigWriteMaxValues = 299 - ConfigWriteFixedSize;

} // namespace tool
