// Whether the test runs under Wine rather than on Windows or Linux.
//
// Some rows of the network tests show behaviour that Wine's own WinHTTP gets
// wrong; those rows name the fault and are skipped there, so that the table
// still states what the request object does on a real Windows.
#pragma once

namespace miyi::testing {

bool running_under_wine();

}  // namespace miyi::testing
