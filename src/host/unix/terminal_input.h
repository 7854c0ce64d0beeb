// The terminal's input on POSIX systems (terminal_input.cpp): keys and
// the answers to the link's status requests, read from the keyboard's
// descriptor and decoded as they come; each answer times the link.
#pragma once

struct key_decoder;
struct link_state;

// Reads whatever key_fd has sent, without waiting, and settles a lone ESC.
// A terminal gone away (end of input, a read error, a hang-up) ends the
// process as a hang-up does.
void input_read(int key_fd, key_decoder& keys, link_state& link);
// Reads the answers to the status requests still out, while the modes are
// raw, so that none reaches the shell: until the last arrives and the input
// stays quiet as long as link_quiet_until says, or until link_wait_until says.
void input_await_answers(int key_fd, key_decoder& keys, link_state& link);
