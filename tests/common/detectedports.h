#pragma once

// Serial ports as the system would report them, for tests that stand in a
// fixed list: a USB adapter (vendor ids, usually a stable name) and a
// built-in port (neither).

#include "ports.h"

#include <QString>

inline const QString kAdapterStableName =
    QStringLiteral("/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0");

inline rwlink::DetectedPort usb_adapter(const QString &location, const QString &stable = {})
{
    rwlink::DetectedPort port;
    port.location = location;
    port.stable_name = stable;
    port.description = QStringLiteral("FT232R USB UART");
    port.manufacturer = QStringLiteral("FTDI");
    port.serial_number = QStringLiteral("A50285BI");
    port.vendor_id = 0x0403;
    port.product_id = 0x6001;
    return port;
}

inline rwlink::DetectedPort built_in_port(const QString &location)
{
    rwlink::DetectedPort port;
    port.location = location;
    return port;
}
