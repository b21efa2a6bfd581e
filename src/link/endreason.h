// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

namespace quillon {

// Why a connection ended. The number is what the operator sees ("Port Closed 7") and what the
// trace file records, so each keeps its value.
enum class EndReason : int {
    FlashResultReported = 1,  // the card reported the result of writing its flash
    RetransmissionFailed = 2, // a packet went unacknowledged too often
    LinkResetByCard = 4,      // a SYN arrived while the card was identified
    UnknownDevice = 5,        // stray bytes at the default settings
    CardNotIdentified = 6,    // the card did not identify itself in time
    Completed = 7,            // the ordinary end: flows, Close Port, Exit, shut-down
    Cancelled = 8,            // Cancel in the progress dialog
    WriteTimeout = 9,         // the port reported a clear-to-send timeout
    PortClosed = 10,          // a packet was to be sent while the port was closed
};

inline int reasonCode(EndReason reason) { return static_cast<int>(reason); }

} // namespace quillon
