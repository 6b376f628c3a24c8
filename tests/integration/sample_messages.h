// Messages more than one test file of the integration tests scans.
#pragma once

// A plain spam message, as the host hands it over (header lines and body).
inline constexpr const char* PLAIN_SPAM =
    "From: Pharmacy <sales@pills.example>\r\n"
    "To: alice@example.org\r\n"
    "Subject: Cheap VIAGRA now\r\n"
    "\r\n"
    "Hello,\r\n"
    "best prices today.\r\n";
