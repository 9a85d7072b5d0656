// The commands of softskf-tool, one function each; main.cpp holds their
// help texts and dispatches. Each returns the process exit status.
#pragma once

#include "options.h"

namespace commands {

constexpr const char* default_user_pin = "12345678";
constexpr const char* default_admin_pin = "88888888";

int init(Options& o);
int add_device(Options& o);
int add_app(Options& o);
int add_container(Options& o);
int import(Options& o);
int provision(Options& o);
int list(Options& o);
int sign(Options& o);
int export_cert(Options& o);
int fault_add(Options& o);
int fault_clear(Options& o);

}  // namespace commands
