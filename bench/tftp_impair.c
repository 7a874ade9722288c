/*
 * tftp_impair: drops a seeded random share of the packets that an iptables
 * NFQUEUE rule hands to it; every other packet passes unchanged.
 *
 *   tftp_impair --queue N --loss P --seed S
 *
 * Prints "ready" on standard error once the queue is bound, and the counts
 * ("seen N dropped M") when it ends on SIGTERM or SIGINT. Used by
 * tftp_bench.sh inside a network namespace of its own.
 */
#include <arpa/inet.h>
#include <errno.h>
#include <libnetfilter_queue/libnetfilter_queue.h>
#include <linux/netfilter.h>
#include <signal.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>

static volatile sig_atomic_t stopping;
static uint64_t rng_state;
static double loss;
static unsigned long seen, dropped;

static void on_signal(int sig) {
  (void)sig;
  stopping = 1;
}

/* splitmix64: a small, well-mixed generator; one draw per packet. */
static double next_uniform(void) {
  uint64_t z = (rng_state += 0x9E3779B97F4A7C15ull);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  z ^= z >> 31;
  return (double)(z >> 11) / (double)(1ull << 53);
}

static int on_packet(struct nfq_q_handle *queue, struct nfgenmsg *message,
                     struct nfq_data *packet, void *context) {
  (void)message;
  (void)context;
  struct nfqnl_msg_packet_hdr *header = nfq_get_msg_packet_hdr(packet);
  if (header == NULL) {
    return 0;
  }
  uint32_t id = ntohl(header->packet_id);
  ++seen;
  if (next_uniform() < loss) {
    ++dropped;
    return nfq_set_verdict(queue, id, NF_DROP, 0, NULL);
  }
  return nfq_set_verdict(queue, id, NF_ACCEPT, 0, NULL);
}

int main(int argc, char **argv) {
  int queue_number = 0;
  unsigned long long seed = 1;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (strcmp(argv[i], "--queue") == 0) {
      queue_number = atoi(argv[i + 1]);
    } else if (strcmp(argv[i], "--loss") == 0) {
      loss = atof(argv[i + 1]);
    } else if (strcmp(argv[i], "--seed") == 0) {
      seed = strtoull(argv[i + 1], NULL, 0);
    } else {
      fprintf(stderr, "usage: tftp_impair --queue N --loss P --seed S\n");
      return 2;
    }
  }
  rng_state = seed;

  struct sigaction action;
  memset(&action, 0, sizeof(action));
  action.sa_handler = on_signal; /* no SA_RESTART: recv must return */
  sigaction(SIGTERM, &action, NULL);
  sigaction(SIGINT, &action, NULL);

  struct nfq_handle *handle = nfq_open();
  if (handle == NULL) {
    perror("nfq_open");
    return 1;
  }
  struct nfq_q_handle *queue = nfq_create_queue(handle, (uint16_t)queue_number, on_packet, NULL);
  if (queue == NULL) {
    perror("nfq_create_queue");
    nfq_close(handle);
    return 1;
  }
  /* The verdict needs only the packet id, not its bytes. */
  if (nfq_set_mode(queue, NFQNL_COPY_META, 0) < 0) {
    perror("nfq_set_mode");
    nfq_destroy_queue(queue);
    nfq_close(handle);
    return 1;
  }
  nfq_set_queue_maxlen(queue, 4096);
  fprintf(stderr, "ready\n");

  int fd = nfq_fd(handle);
  char buffer[4096] __attribute__((aligned));
  while (!stopping) {
    ssize_t n = recv(fd, buffer, sizeof(buffer), 0);
    if (n < 0) {
      if (errno == EINTR || errno == ENOBUFS) {
        continue;
      }
      perror("recv");
      break;
    }
    nfq_handle_packet(handle, buffer, (int)n);
  }
  fprintf(stderr, "seen %lu dropped %lu\n", seen, dropped);
  nfq_destroy_queue(queue);
  nfq_close(handle);
  return 0;
}
