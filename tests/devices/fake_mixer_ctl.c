#define _GNU_SOURCE /* NOLINT(bugprone-reserved-identifier): the feature-test macro */
/* A control device with no card behind it, for the mixer's tests. ALSA loads
 * it as an external control plugin ("type fake"); the "model" argument picks
 * one of three cards:
 *   0  Master, Capture volume and switch, a "Capture Source" enumeration
 *      (Mic, Line, CD, Stereo Mix): the classic capture-source card;
 *   1  PCM, and Mic, Line (stereo) and Aux (mono) lines each with their own
 *      capture switch and volume: a card of independent switches;
 *   2  no playback volume, Capture volume and switch, an "Input Source"
 *      enumeration (Front Mic, Rear Mic, Line In): the usual HDA layout.
 * The values live once per process, so every handle on the same model sees
 * them, and a write is reported to every open handle through its pipe. */
#include <alsa/asoundlib.h>
#include <alsa/control_external.h>

#include <errno.h>
#include <fcntl.h>
#include <pthread.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

enum { MAX_ELEMS = 8, MAX_OPEN = 16, MAX_QUEUE = 64 };

typedef struct {
    const char* name;
    int type; /* SND_CTL_ELEM_TYPE_* */
    unsigned count;
    long min, max;
    const char* const* items;
    unsigned item_count;
    long value[2];
} elem_t;

static const char* const model0_items[] = {"Mic", "Line", "CD", "Stereo Mix"};
static const char* const model2_items[] = {"Front Mic", "Rear Mic", "Line In"};

static elem_t models[3][MAX_ELEMS] = {
    {{"Master Playback Volume", SND_CTL_ELEM_TYPE_INTEGER, 2, 0, 100, NULL, 0, {80, 80}},
     {"Capture Volume", SND_CTL_ELEM_TYPE_INTEGER, 2, 0, 31, NULL, 0, {10, 10}},
     {"Capture Switch", SND_CTL_ELEM_TYPE_BOOLEAN, 2, 0, 1, NULL, 0, {1, 1}},
     {"Capture Source", SND_CTL_ELEM_TYPE_ENUMERATED, 2, 0, 0, model0_items, 4, {0, 0}}},
    {{"PCM Playback Volume", SND_CTL_ELEM_TYPE_INTEGER, 2, 0, 255, NULL, 0, {51, 51}},
     {"Mic Capture Switch", SND_CTL_ELEM_TYPE_BOOLEAN, 2, 0, 1, NULL, 0, {1, 1}},
     {"Mic Capture Volume", SND_CTL_ELEM_TYPE_INTEGER, 2, 0, 31, NULL, 0, {5, 5}},
     {"Line Capture Switch", SND_CTL_ELEM_TYPE_BOOLEAN, 2, 0, 1, NULL, 0, {0, 0}},
     {"Line Capture Volume", SND_CTL_ELEM_TYPE_INTEGER, 2, 0, 31, NULL, 0, {5, 5}},
     {"Aux Capture Switch", SND_CTL_ELEM_TYPE_BOOLEAN, 1, 0, 1, NULL, 0, {1, 0}},
     {"Aux Capture Volume", SND_CTL_ELEM_TYPE_INTEGER, 1, 0, 63, NULL, 0, {7, 0}}},
    {{"Capture Volume", SND_CTL_ELEM_TYPE_INTEGER, 2, 0, 31, NULL, 0, {3, 3}},
     {"Capture Switch", SND_CTL_ELEM_TYPE_BOOLEAN, 2, 0, 1, NULL, 0, {1, 1}},
     {"Input Source", SND_CTL_ELEM_TYPE_ENUMERATED, 1, 0, 0, model2_items, 3, {1, 0}}},
};

typedef struct fake {
    snd_ctl_ext_t ext;
    int model;
    int pipe_fd[2];
    int subscribed;
    int queue[MAX_QUEUE];
    int queued;
} fake_t;

static fake_t* open_handles[MAX_OPEN];
/* A test may write through one handle while another handle's owner reads its events. */
static pthread_mutex_t state_lock = PTHREAD_MUTEX_INITIALIZER;

static int elem_total(int model)
{
    int n = 0;
    while (n < MAX_ELEMS && models[model][n].name)
        ++n;
    return n;
}

static elem_t* elem_of(fake_t* f, snd_ctl_ext_key_t key)
{
    if (key >= (snd_ctl_ext_key_t)elem_total(f->model))
        return NULL;
    return &models[f->model][key];
}

static void notify_all(int model, int key)
{
    for (int i = 0; i < MAX_OPEN; ++i) {
        fake_t* f = open_handles[i];
        if (!f || f->model != model || !f->subscribed || f->queued >= MAX_QUEUE)
            continue;
        f->queue[f->queued++] = key;
        const char byte = 1;
        if (write(f->pipe_fd[1], &byte, 1) < 0) {
            /* a full pipe still wakes the reader */
        }
    }
}

static int fake_elem_count(snd_ctl_ext_t* ext)
{
    return elem_total(((fake_t*)ext->private_data)->model);
}

static int fake_elem_list(snd_ctl_ext_t* ext, unsigned int offset, snd_ctl_elem_id_t* id)
{
    fake_t* f = ext->private_data;
    elem_t* e = elem_of(f, offset);
    if (!e)
        return -EINVAL;
    snd_ctl_elem_id_set_interface(id, SND_CTL_ELEM_IFACE_MIXER);
    snd_ctl_elem_id_set_name(id, e->name);
    return 0;
}

static snd_ctl_ext_key_t fake_find_elem(snd_ctl_ext_t* ext, const snd_ctl_elem_id_t* id)
{
    fake_t* f = ext->private_data;
    const char* name = snd_ctl_elem_id_get_name(id);
    for (int i = 0; i < elem_total(f->model); ++i)
        if (strcmp(models[f->model][i].name, name) == 0)
            return (snd_ctl_ext_key_t)i;
    return SND_CTL_EXT_KEY_NOT_FOUND;
}

static int fake_get_attribute(snd_ctl_ext_t* ext, snd_ctl_ext_key_t key, int* type, unsigned int* acc,
                              unsigned int* count)
{
    elem_t* e = elem_of(ext->private_data, key);
    if (!e)
        return -EINVAL;
    *type = e->type;
    *acc = SND_CTL_EXT_ACCESS_READWRITE;
    *count = e->count;
    return 0;
}

static int fake_get_integer_info(snd_ctl_ext_t* ext, snd_ctl_ext_key_t key, long* imin, long* imax, long* istep)
{
    elem_t* e = elem_of(ext->private_data, key);
    if (!e)
        return -EINVAL;
    *imin = e->min;
    *imax = e->max;
    *istep = 1;
    return 0;
}

static int fake_get_enumerated_info(snd_ctl_ext_t* ext, snd_ctl_ext_key_t key, unsigned int* items)
{
    elem_t* e = elem_of(ext->private_data, key);
    if (!e || !e->items)
        return -EINVAL;
    *items = e->item_count;
    return 0;
}

static int fake_get_enumerated_name(snd_ctl_ext_t* ext, snd_ctl_ext_key_t key, unsigned int item, char* name,
                                    size_t name_max_len)
{
    elem_t* e = elem_of(ext->private_data, key);
    if (!e || !e->items || item >= e->item_count || name_max_len == 0)
        return -EINVAL;
    strncpy(name, e->items[item], name_max_len - 1);
    name[name_max_len - 1] = '\0';
    return 0;
}

static int fake_read_integer_locked(snd_ctl_ext_t* ext, snd_ctl_ext_key_t key, long* value)
{
    elem_t* e = elem_of(ext->private_data, key);
    if (!e)
        return -EINVAL;
    for (unsigned i = 0; i < e->count; ++i)
        value[i] = e->value[i];
    return 0;
}

static int fake_read_enumerated_locked(snd_ctl_ext_t* ext, snd_ctl_ext_key_t key, unsigned int* items)
{
    elem_t* e = elem_of(ext->private_data, key);
    if (!e)
        return -EINVAL;
    for (unsigned i = 0; i < e->count; ++i)
        items[i] = (unsigned)e->value[i];
    return 0;
}

static int fake_write_integer_locked(snd_ctl_ext_t* ext, snd_ctl_ext_key_t key, long* value)
{
    fake_t* f = ext->private_data;
    elem_t* e = elem_of(f, key);
    if (!e)
        return -EINVAL;
    int changed = 0;
    for (unsigned i = 0; i < e->count; ++i) {
        const long v = value[i] < e->min ? e->min : value[i] > e->max ? e->max : value[i];
        changed |= e->value[i] != v;
        e->value[i] = v;
    }
    if (changed)
        notify_all(f->model, (int)key);
    return changed;
}

static int fake_write_enumerated_locked(snd_ctl_ext_t* ext, snd_ctl_ext_key_t key, unsigned int* items)
{
    fake_t* f = ext->private_data;
    elem_t* e = elem_of(f, key);
    if (!e || !e->items)
        return -EINVAL;
    int changed = 0;
    for (unsigned i = 0; i < e->count; ++i) {
        if (items[i] >= e->item_count)
            return -EINVAL;
        changed |= e->value[i] != (long)items[i];
        e->value[i] = (long)items[i];
    }
    if (changed)
        notify_all(f->model, (int)key);
    return changed;
}

static void fake_subscribe_events(snd_ctl_ext_t* ext, int subscribe)
{
    pthread_mutex_lock(&state_lock);
    ((fake_t*)ext->private_data)->subscribed = subscribe;
    pthread_mutex_unlock(&state_lock);
}

static int fake_read_event_locked(snd_ctl_ext_t* ext, snd_ctl_elem_id_t* id, unsigned int* event_mask)
{
    fake_t* f = ext->private_data;
    if (f->queued == 0)
        return -EAGAIN;
    char byte;
    if (read(f->pipe_fd[0], &byte, 1) < 0) {
        /* the queue, not the pipe, holds the events */
    }
    const int key = f->queue[0];
    memmove(f->queue, f->queue + 1, (size_t)(f->queued - 1) * sizeof f->queue[0]);
    --f->queued;
    snd_ctl_elem_id_set_interface(id, SND_CTL_ELEM_IFACE_MIXER);
    snd_ctl_elem_id_set_name(id, models[f->model][key].name);
    *event_mask = SND_CTL_EVENT_MASK_VALUE;
    return 1;
}

static int fake_read_integer(snd_ctl_ext_t* ext, snd_ctl_ext_key_t key, long* value)
{
    pthread_mutex_lock(&state_lock);
    const int r = fake_read_integer_locked(ext, key, value);
    pthread_mutex_unlock(&state_lock);
    return r;
}

static int fake_read_enumerated(snd_ctl_ext_t* ext, snd_ctl_ext_key_t key, unsigned int* items)
{
    pthread_mutex_lock(&state_lock);
    const int r = fake_read_enumerated_locked(ext, key, items);
    pthread_mutex_unlock(&state_lock);
    return r;
}

static int fake_write_integer(snd_ctl_ext_t* ext, snd_ctl_ext_key_t key, long* value)
{
    pthread_mutex_lock(&state_lock);
    const int r = fake_write_integer_locked(ext, key, value);
    pthread_mutex_unlock(&state_lock);
    return r;
}

static int fake_write_enumerated(snd_ctl_ext_t* ext, snd_ctl_ext_key_t key, unsigned int* items)
{
    pthread_mutex_lock(&state_lock);
    const int r = fake_write_enumerated_locked(ext, key, items);
    pthread_mutex_unlock(&state_lock);
    return r;
}

static int fake_read_event(snd_ctl_ext_t* ext, snd_ctl_elem_id_t* id, unsigned int* event_mask)
{
    pthread_mutex_lock(&state_lock);
    const int r = fake_read_event_locked(ext, id, event_mask);
    pthread_mutex_unlock(&state_lock);
    return r;
}

static void fake_close(snd_ctl_ext_t* ext)
{
    fake_t* f = ext->private_data;
    pthread_mutex_lock(&state_lock);
    for (int i = 0; i < MAX_OPEN; ++i)
        if (open_handles[i] == f)
            open_handles[i] = NULL;
    pthread_mutex_unlock(&state_lock);
    close(f->pipe_fd[0]);
    close(f->pipe_fd[1]);
    free(f);
}

static const snd_ctl_ext_callback_t fake_callbacks = {
    .elem_count = fake_elem_count,
    .elem_list = fake_elem_list,
    .find_elem = fake_find_elem,
    .get_attribute = fake_get_attribute,
    .get_integer_info = fake_get_integer_info,
    .get_enumerated_info = fake_get_enumerated_info,
    .get_enumerated_name = fake_get_enumerated_name,
    .read_integer = fake_read_integer,
    .read_enumerated = fake_read_enumerated,
    .write_integer = fake_write_integer,
    .write_enumerated = fake_write_enumerated,
    .subscribe_events = fake_subscribe_events,
    .read_event = fake_read_event,
    .close = fake_close,
};

SND_CTL_PLUGIN_DEFINE_FUNC(fake)
{
    (void)root;
    long model = 0;
    snd_config_iterator_t i, next;
    snd_config_for_each(i, next, conf)
    {
        snd_config_t* n = snd_config_iterator_entry(i);
        const char* key;
        if (snd_config_get_id(n, &key) < 0)
            continue;
        if (strcmp(key, "model") == 0 && snd_config_get_integer(n, &model) < 0)
            return -EINVAL;
    }
    if (model < 0 || model > 2)
        return -EINVAL;

    fake_t* f = calloc(1, sizeof *f);
    if (!f)
        return -ENOMEM;
    if (pipe2(f->pipe_fd, O_NONBLOCK | O_CLOEXEC) < 0) {
        free(f);
        return -errno;
    }
    f->model = (int)model;
    f->ext.version = SND_CTL_EXT_VERSION;
    f->ext.card_idx = 0;
    strcpy(f->ext.id, "Fake");
    strcpy(f->ext.driver, "Fake");
    strcpy(f->ext.name, "Fake mixer");
    strcpy(f->ext.longname, "Fake mixer for tests");
    strcpy(f->ext.mixername, "Fake mixer");
    f->ext.poll_fd = f->pipe_fd[0];
    f->ext.callback = &fake_callbacks;
    f->ext.private_data = f;
    const int err = snd_ctl_ext_create(&f->ext, name, mode);
    if (err < 0) {
        close(f->pipe_fd[0]);
        close(f->pipe_fd[1]);
        free(f);
        return err;
    }
    pthread_mutex_lock(&state_lock);
    for (int k = 0; k < MAX_OPEN; ++k)
        if (!open_handles[k]) {
            open_handles[k] = f;
            break;
        }
    pthread_mutex_unlock(&state_lock);
    *handlep = f->ext.handle;
    return 0;
}

SND_CTL_PLUGIN_SYMBOL(fake);
