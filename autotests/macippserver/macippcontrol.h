#ifndef MACIPPCONTROL_H
#define MACIPPCONTROL_H

// The test-only control operation of macippserver, shared by the server and
// the tests' helper. Its attributes are all optional, applied in this order:
// Reset; FailOperation (an operation name as --fail takes it) with FailMessage;
// ClearFailures; Permissions (no-value for none); AuthOperation with
// AuthPassword: that operation asks for Basic authentication with that password,
// its user standing for the request's (an empty AuthOperation ends it);
// PolicyPrinter with Policy, set as it is, supported or not. The answer carries
// LastUser, the user of the request before, and LastJournalRequest, the keys of
// the last journal search as "name=value".
namespace MacIppControl
{
constexpr int Operation = 0x4180;
constexpr char Reset[] = "test-reset";
constexpr char FailOperation[] = "test-fail-operation";
constexpr char FailMessage[] = "test-fail-message";
constexpr char ClearFailures[] = "test-clear-failures";
constexpr char Permissions[] = "test-permissions";
constexpr char AuthOperation[] = "test-auth-operation";
constexpr char AuthPassword[] = "test-auth-password";
constexpr char LastUser[] = "test-last-user";
constexpr char PolicyPrinter[] = "test-policy-printer";
constexpr char Policy[] = "test-policy";
constexpr char LastJournalRequest[] = "test-last-journal-request";
} // namespace MacIppControl

#endif
