#pragma once
// Modbus replies as a peer sends them, for the tests that feed them to the tool: RTU
// frames with their CRC, Modbus TCP frames with their header.
#include <cstdint>
#include <string>
#include <vector>

namespace fakes {

using ByteList = std::vector<uint8_t>;

// The bytes followed by their CRC-16, low byte first.
std::string WithCrc(const ByteList& bytes);
// slave, 03, N, data, CRC.
std::string RtuReply(uint8_t slave, const ByteList& data);
// slave, 83, code, CRC.
std::string RtuException(uint8_t slave, uint8_t code);
// transaction, protocol 0, length, then the bytes after the length (unit, function...).
std::string TcpFrame(uint16_t transaction, const ByteList& afterLength, uint16_t protocol = 0);
// A Modbus TCP reply of unit with function 03, N and the data.
std::string TcpReply(uint16_t transaction, uint8_t unit, const ByteList& data);

} // namespace fakes
