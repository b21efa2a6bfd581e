// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Entry points that feed one input of arbitrary bytes to a part of the program that takes
// untrusted input. libFuzzer calls them (fuzz build), and the corpus replay test calls them on
// every file of tests/fuzz/corpus/<name>/ (every build). Each one aborts when it finds the program
// in a state it must never reach; crashes and sanitizer reports speak for themselves.

#include <QByteArray>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace quillon::fuzz {

// The card link engine receiving the bytes of a misbehaving card. Input: one byte whose low four
// bits choose where the connection stands when the bytes begin (a fresh port, a step of the
// link set-up, an identified card in a Get or a Send, at 9600 or 1200 baud, in each frame form)
// and whose top two bits how it ends (a Cancel, closing the program, a new Get, or a quiet
// spell); then chunks, each a length byte (0 to 255 bytes follow), a pause byte (milliseconds of
// virtual time after the chunk) and the chunk's bytes. Each chunk arrives as one receive event,
// after its time on the line.
int linkReceiver(const std::uint8_t* data, std::size_t size);
// A SID set-up file's content, opened as the program opens a .kxd file.
int setupTextFile(const std::uint8_t* data, std::size_t size);
// A set-up image as received from a card, applied as a Get applies it.
int setupImage(const std::uint8_t* data, std::size_t size);
// An AVM set-up file's content, opened, then checked for sending and applied.
int avmImageFile(const std::uint8_t* data, std::size_t size);
// A card inventory's text, read, written back, one card edited and removed.
int inventoryFile(const std::uint8_t* data, std::size_t size);
// A serial server's bytes to the Telnet and RFC 2217 client: chunks, each a length byte (0 to
// 255 bytes follow) and an action byte (its top six bits the milliseconds before the chunk, its
// low two bits what the link asks for after it: nothing, 1200 baud, 9600 baud, a purge), then
// the chunk's bytes.
int telnetClient(const std::uint8_t* data, std::size_t size);

struct Entry {
    const char* name; // the corpus folder
    int (*run)(const std::uint8_t* data, std::size_t size);
};
const std::vector<Entry>& entries();

// What the simulated card sends from a starting point to the end of a Get or Send, in the input
// form of linkReceiver(): a seed for its corpus.
struct RecordedSeed {
    QByteArray input;
    bool succeeded = false; // the Get or Send succeeded
};
RecordedSeed recordedLinkSeed(int start);
int linkStartCount();

} // namespace quillon::fuzz
