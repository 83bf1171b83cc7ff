#ifndef MACIPPCONTROL_H
#define MACIPPCONTROL_H

// The test-only control operation of macippserver, shared by the server and the tests' helper.
// Its attributes are all optional, applied in this order: Reset; FailOperation (an operation
// name) with FailMessage; Permissions (codes, comma-separated); AuthOperation with AuthPassword: that
// operation asks for Basic authentication with that password, its user standing for the
// request's (an empty AuthOperation ends it).
namespace MacIppControl
{
constexpr int Operation = 0x4180;
constexpr char Reset[] = "test-reset";
constexpr char FailOperation[] = "test-fail-operation";
constexpr char FailMessage[] = "test-fail-message";
constexpr char Permissions[] = "test-permissions";
constexpr char AuthOperation[] = "test-auth-operation";
constexpr char AuthPassword[] = "test-auth-password";
} // namespace MacIppControl

#endif
