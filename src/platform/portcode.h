#pragma once

// What the serial port reports: the outcome of an operation and the events it raises, by the numbers the
// connection window's status shows.
enum class PortCode : int {
    Ok = 0,
    // Events.
    Receive = 2,
    RxOver = 1008, // more bytes wait than the receive buffer holds
    // Failures.
    InvalidPort = 8002,     // number names no port, device missing or invalid
    PortAlreadyOpen = 8005, // held by another open or another program
    HardwareUnavailable = 8010,
    PortNotOpen = 8012,
    SetState = 8015,
    PermissionDenied = 8017, // this user may not use the device
    Write = 8018,
};
