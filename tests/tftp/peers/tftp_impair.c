/*
 * tftp_impair: impairs the packets that an iptables NFQUEUE rule hands to
 * it, from a seeded random generator so that a run can be repeated. Each
 * packet, independently:
 *   --loss P        is dropped with probability P (0..1)
 *   --cut-after N   is dropped, whatever else applies, once N packets have
 *                   passed (a peer that falls silent in mid-transfer)
 *   --drop-ack B    is dropped, whatever else applies, when it is a TFTP
 *                   ACK of block B (the final ACK of an upload, say); with
 *                   --drop-ack-count K only the first K of them
 *   --delay-ms D    is held for D milliseconds before it goes on
 *   --reorder P     with probability P skips the delay, so that it can
 *                   overtake packets still held
 *   --dup P         with probability P also goes out a second time, through a
 *                   raw socket whose packets carry --mark M (default 1) so
 *                   that a rule with "-m mark ! --mark M" does not queue the
 *                   copy again; the copy leaves up to --dup-lag-ms L after
 *                   the original (uniformly), so it can arrive after later
 *                   packets
 *
 *   tftp_impair --queue N [--loss P] [--cut-after N] [--drop-ack B]
 *               [--drop-ack-count K] [--delay-ms D] [--reorder P] [--dup P] [--dup-lag-ms L] [--mark M] --seed S
 *
 * Prints "ready" on standard error once the queue is bound, and the counts
 * ("seen N dropped N delayed N duplicated N failed N") when it ends on
 * SIGTERM or SIGINT; held packets are let go then. Used by tftp_bench.sh
 * and the TFTP peer tests inside network namespaces of their own.
 */
#define _GNU_SOURCE
#include <arpa/inet.h>
#include <errno.h>
#include <libnetfilter_queue/libnetfilter_queue.h>
#include <linux/netfilter.h>
#include <netinet/in.h>
#include <netinet/ip.h>
#include <poll.h>
#include <signal.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <time.h>

#define MAX_HELD 4096

/* A packet waiting for its time: a queued original (by id) or a copy. */
struct held {
  uint64_t due_ns;
  uint32_t id;
  unsigned char* copy; /* NULL for an original */
  int length;
};

static volatile sig_atomic_t stopping;
static uint64_t rng_state;
static double loss, reorder, duplicate;
static uint64_t delay_ns, dup_lag_ns;
static unsigned long cut_after = (unsigned long)-1;
static long drop_ack_block = -1;
static unsigned long drop_ack_count = (unsigned long)-1;
static struct held held[MAX_HELD];
static int held_count;
static int raw_fd = -1;
static struct nfq_q_handle* queue;
static unsigned long seen, dropped, delayed, duplicated, failed;

static void on_signal(int sig) {
  (void)sig;
  stopping = 1;
}

/* splitmix64: a small, well-mixed generator. */
static double next_uniform(void) {
  uint64_t z = (rng_state += 0x9E3779B97F4A7C15ull);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  z ^= z >> 31;
  return (double)(z >> 11) / (double)(1ull << 53);
}

static uint64_t now_ns(void) {
  struct timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return (uint64_t)ts.tv_sec * 1000000000ull + (uint64_t)ts.tv_nsec;
}

static void send_copy(const unsigned char* data, int length) {
  const struct iphdr* ip = (const struct iphdr*)data;
  struct sockaddr_in to;
  if (length < (int)sizeof(*ip)) {
    ++failed;
    return;
  }
  memset(&to, 0, sizeof(to));
  to.sin_family = AF_INET;
  to.sin_addr.s_addr = ip->daddr;
  if (sendto(raw_fd, data, (size_t)length, 0, (struct sockaddr*)&to, sizeof(to)) == length) {
    ++duplicated;
  } else {
    ++failed;
  }
}

/* False when the table is full: the caller lets the packet go at once. */
static int hold(uint64_t due_ns, uint32_t id, const unsigned char* copy, int length) {
  if (held_count >= MAX_HELD) {
    ++failed;
    return 0;
  }
  struct held* h = &held[held_count];
  h->due_ns = due_ns;
  h->id = id;
  h->copy = NULL;
  h->length = length;
  if (copy != NULL) {
    h->copy = malloc((size_t)length);
    if (h->copy == NULL) {
      ++failed;
      return 0;
    }
    memcpy(h->copy, copy, (size_t)length);
  }
  ++held_count;
  return 1;
}

static void release(const struct held* h) {
  if (h->copy != NULL) {
    send_copy(h->copy, h->length);
    free(h->copy);
  } else {
    nfq_set_verdict(queue, h->id, NF_ACCEPT, 0, NULL);
  }
}

/* Lets every held packet whose time has come go, earliest first. */
static void release_due(void) {
  for (;;) {
    uint64_t now = now_ns();
    int best = -1;
    for (int i = 0; i < held_count; ++i) {
      if (held[i].due_ns <= now && (best < 0 || held[i].due_ns < held[best].due_ns)) {
        best = i;
      }
    }
    if (best < 0) {
      return;
    }
    struct held h = held[best];
    held[best] = held[--held_count];
    release(&h);
  }
}

/* True for a UDP datagram that is a TFTP ACK of drop_ack_block. */
static int is_dropped_ack(const unsigned char* data, int length) {
  if (drop_ack_block < 0 || data == NULL || length < (int)sizeof(struct iphdr)) {
    return 0;
  }
  const struct iphdr* ip = (const struct iphdr*)data;
  int at = ip->ihl * 4 + 8; /* past the IP and UDP headers */
  if (ip->protocol != IPPROTO_UDP || length < at + 4) {
    return 0;
  }
  const unsigned char* tftp = data + at;
  if (tftp[0] != 0 || tftp[1] != 4 || ((tftp[2] << 8) | tftp[3]) != drop_ack_block || drop_ack_count == 0) {
    return 0;
  }
  --drop_ack_count;
  return 1;
}

static int on_packet(struct nfq_q_handle* q, struct nfgenmsg* message, struct nfq_data* packet, void* context) {
  (void)message;
  (void)context;
  struct nfqnl_msg_packet_hdr* header = nfq_get_msg_packet_hdr(packet);
  if (header == NULL) {
    return 0;
  }
  uint32_t id = ntohl(header->packet_id);
  unsigned char* data = NULL;
  int length = nfq_get_payload(packet, &data);
  ++seen;
  if (seen > cut_after || (loss > 0 && next_uniform() < loss) || is_dropped_ack(data, length)) {
    ++dropped;
    return nfq_set_verdict(q, id, NF_DROP, 0, NULL);
  }
  uint64_t now = now_ns();
  uint64_t due = now;
  if (delay_ns > 0 && !(reorder > 0 && next_uniform() < reorder)) {
    due = now + delay_ns;
  }
  if (duplicate > 0 && next_uniform() < duplicate && length > 0) {
    uint64_t lag = (uint64_t)(next_uniform() * (double)dup_lag_ns);
    hold(due + lag, 0, data, length);
  }
  if (due == now || !hold(due, id, NULL, 0)) {
    return nfq_set_verdict(q, id, NF_ACCEPT, 0, NULL);
  }
  ++delayed;
  return 0;
}

static int usage(void) {
  fprintf(stderr,
          "usage: tftp_impair --queue N [--loss P] [--cut-after N] [--drop-ack B]\n"
          "                   [--drop-ack-count K] [--delay-ms D] [--reorder P] [--dup P] [--dup-lag-ms L] [--mark M] "
          "--seed S\n");
  return 2;
}

int main(int argc, char** argv) {
  int queue_number = 0;
  unsigned long long seed = 1;
  uint32_t mark = 1;
  for (int i = 1; i < argc; i += 2) {
    if (i + 1 >= argc) {
      return usage();
    }
    const char *name = argv[i], *value = argv[i + 1];
    if (strcmp(name, "--queue") == 0) {
      queue_number = atoi(value);
    } else if (strcmp(name, "--loss") == 0) {
      loss = atof(value);
    } else if (strcmp(name, "--cut-after") == 0) {
      cut_after = strtoul(value, NULL, 0);
    } else if (strcmp(name, "--drop-ack") == 0) {
      drop_ack_block = strtol(value, NULL, 0) & 0xFFFF;
    } else if (strcmp(name, "--drop-ack-count") == 0) {
      drop_ack_count = strtoul(value, NULL, 0);
    } else if (strcmp(name, "--delay-ms") == 0) {
      delay_ns = (uint64_t)(atof(value) * 1e6);
    } else if (strcmp(name, "--reorder") == 0) {
      reorder = atof(value);
    } else if (strcmp(name, "--dup") == 0) {
      duplicate = atof(value);
    } else if (strcmp(name, "--dup-lag-ms") == 0) {
      dup_lag_ns = (uint64_t)(atof(value) * 1e6);
    } else if (strcmp(name, "--mark") == 0) {
      mark = (uint32_t)strtoul(value, NULL, 0);
    } else if (strcmp(name, "--seed") == 0) {
      seed = strtoull(value, NULL, 0);
    } else {
      return usage();
    }
  }
  rng_state = seed;

  struct sigaction action;
  memset(&action, 0, sizeof(action));
  action.sa_handler = on_signal; /* no SA_RESTART: the wait must return */
  sigaction(SIGTERM, &action, NULL);
  sigaction(SIGINT, &action, NULL);

  /* Held packets go out as close to their time as the timer allows. */
  prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);

  if (duplicate > 0) {
    raw_fd = socket(AF_INET, SOCK_RAW, IPPROTO_RAW);
    if (raw_fd < 0 || setsockopt(raw_fd, SOL_SOCKET, SO_MARK, &mark, sizeof(mark)) < 0) {
      perror("raw socket");
      return 1;
    }
  }
  struct nfq_handle* handle = nfq_open();
  if (handle == NULL) {
    perror("nfq_open");
    return 1;
  }
  queue = nfq_create_queue(handle, (uint16_t)queue_number, on_packet, NULL);
  if (queue == NULL) {
    perror("nfq_create_queue");
    nfq_close(handle);
    return 1;
  }
  /* A copy or a look at the payload needs the packet's bytes; a verdict
     alone needs only its id. */
  int need_bytes = duplicate > 0 || drop_ack_block >= 0;
  if (nfq_set_mode(queue, need_bytes ? NFQNL_COPY_PACKET : NFQNL_COPY_META, 0xFFFF) < 0) {
    perror("nfq_set_mode");
    nfq_destroy_queue(queue);
    nfq_close(handle);
    return 1;
  }
  nfq_set_queue_maxlen(queue, 4096);
  fprintf(stderr, "ready\n");

  int fd = nfq_fd(handle);
  static char buffer[65536 + 4096] __attribute__((aligned));
  while (!stopping) {
    struct timespec wait, *timeout = NULL;
    if (held_count > 0) {
      uint64_t next = held[0].due_ns;
      for (int i = 1; i < held_count; ++i) {
        if (held[i].due_ns < next) {
          next = held[i].due_ns;
        }
      }
      uint64_t now = now_ns();
      uint64_t left = next > now ? next - now : 0;
      wait.tv_sec = (time_t)(left / 1000000000ull);
      wait.tv_nsec = (long)(left % 1000000000ull);
      timeout = &wait;
    }
    struct pollfd entry = {.fd = fd, .events = POLLIN};
    int ready = ppoll(&entry, 1, timeout, NULL);
    if (ready < 0 && errno != EINTR) {
      perror("ppoll");
      break;
    }
    if (ready > 0 && (entry.revents & POLLIN)) {
      ssize_t n = recv(fd, buffer, sizeof(buffer), MSG_DONTWAIT);
      if (n > 0) {
        nfq_handle_packet(handle, buffer, (int)n);
      } else if (n < 0 && errno != EAGAIN && errno != EINTR && errno != ENOBUFS) {
        perror("recv");
        break;
      }
    }
    release_due();
  }
  for (int i = 0; i < held_count; ++i) {
    release(&held[i]);
  }
  fprintf(stderr, "seen %lu dropped %lu delayed %lu duplicated %lu failed %lu\n", seen, dropped, delayed, duplicated,
          failed);
  nfq_destroy_queue(queue);
  nfq_close(handle);
  return 0;
}
