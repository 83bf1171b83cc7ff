#ifndef MACIPPCONTROL_H
#define MACIPPCONTROL_H

// The test-only control operation of macippserver and its attributes,
// shared by the server and the tests' helper that drives it.
namespace MacIppControl
{
// Operation attributes, all optional; applied in this order:
// Reset (boolean true): back to the starting state, no failures, all permissions.
// FailOperation (keyword, an operation name as --fail takes it) with
// FailMessage (text): that operation fails from now on with the message.
// ClearFailures (boolean true): no operation fails any more.
// Permissions (1setOf integer, or no-value for none): the user's permission codes.
// AuthOperation (keyword) with AuthPassword (text): that operation asks for HTTP
// Basic authentication from now on and takes any user with that password; the
// user then stands for the request's user. An empty AuthOperation ends it.
// PolicyPrinter (name) with Policy (name): sets that printer's printer-op-policy
// as it is, supported or not (Add-Modify-Printer takes supported ones only).
// The answer carries LastUser (name): "requesting-user-name" of the request before this one,
// and LastJournalRequest (1setOf text, absent before the first MAC-Get-Journal): the
// search keys of the last MAC-Get-Journal as "name=value", integers in decimal.
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
