// playlist.js -- songs dropped or picked together, or a whole folder: played in order or shuffled, with previous,
// next and repeat (off, all, one).
'use strict';

const playlist = {
  files: [],     // in the order they were given (a folder's by path)
  order: [],     // indices into files, in the order they play
  at: -1,        // the place in `order` of the one playing
  repeat: 'off',
  shuffle: false,
};

const audioName = /\.(aac|aif|aiff|flac|m4a|mka|mp3|mp4|oga|ogg|opus|wav|weba|webm)$/i;

function isAudio(file) {
  return /^(audio|video)\//.test(file.type) || audioName.test(file.name);
}

function shuffled(indices) {
  const out = indices.slice();
  for (let i = out.length - 1; i > 0; --i) {
    const j = Math.floor(Math.random() * (i + 1));
    [out[i], out[j]] = [out[j], out[i]];
  }
  return out;
}

// The play order, the one playing kept where it is (first when shuffled).
function reorder() {
  const playing = playlist.order[playlist.at];
  const all = playlist.files.map((_, i) => i);
  playlist.order = playlist.shuffle ? shuffled(all) : all;
  if (playing !== undefined) {
    if (playlist.shuffle)
      playlist.order = [playing, ...playlist.order.filter(i => i !== playing)];
    playlist.at = playlist.order.indexOf(playing);
  }
}

function showPlaylist(files) {
  playlist.files = files;
  playlist.at = -1;
  playlist.order = [];
  reorder();
  const items = files.map((file, i) => {
    const item = document.createElement('li');
    item.textContent = file.webkitRelativePath || file.name;
    item.addEventListener('click', () => { pressed(); playAt(playlist.order.indexOf(i)); });
    return item;
  });
  elements.playlist.replaceChildren(...items);
  markPlaying();
}

function markPlaying() {
  const playing = playlist.order[playlist.at];
  [...elements.playlist.children].forEach((item, i) => item.classList.toggle('current', i === playing));
  const many = playlist.files.length > 1;
  elements.previous.disabled = !many && playlist.repeat === 'off';
  elements.next.disabled = !many && playlist.repeat === 'off';
  if (!playlist.files.length)
    elements.previous.disabled = elements.next.disabled = true;
}

// Plays the song at place `at` of the order; one the browser cannot decode is passed over (its reason stays in the
// error line) as long as others are left to try.
async function playAt(at, tried = 0) {
  if (!playlist.files.length)
    return;
  const count = playlist.order.length;
  playlist.at = ((at % count) + count) % count;
  markPlaying();
  const file = playlist.files[playlist.order[playlist.at]];
  if (await playFile(file, songEnded))
    return;
  const reason = elements.error.textContent;
  if (tried + 1 < count) {
    await playAt(playlist.at + 1, tried + 1);
    if (page.running)
      elements.error.textContent = reason;
  }
}

// The end of a song: the next one, as the repeat and shuffle say.
function songEnded() {
  if (playlist.repeat === 'one')
    return playAt(playlist.at);
  if (playlist.at + 1 < playlist.order.length)
    return playAt(playlist.at + 1);
  if (playlist.repeat === 'all') {
    if (playlist.shuffle)
      reorder();
    return playAt(0);
  }
  stop(playlist.files.length > 1 ? 'Played the playlist to the end.' :
       `Played '${playlist.files[0].name}' to the end.`);
}

function step(by) {
  if (!playlist.files.length)
    return;
  // Back to the song's start first, as players do, when it has played a few seconds.
  if (by < 0 && page.running && page.buffer && heardSeconds() > 3) {
    seek(0);
    return;
  }
  pressed();
  playAt(playlist.at + by);
}

function playFiles(list) {
  if (!page.module)
    return;
  const files = [...list].filter(isAudio)
    .sort((a, b) => (a.webkitRelativePath || '').localeCompare(b.webkitRelativePath || ''));
  if (!files.length) {
    const one = list[0];
    if (one) {
      // Named as such even when its type says nothing: the decoder has the last word.
      showPlaylist([one]);
      playAt(0);
    } else {
      fail('No songs there: pick audio or video files, or a folder that holds some.');
    }
    return;
  }
  pressed();
  showPlaylist(files);
  playAt(0);
}

for (const id of ['file', 'folder'])
  elements[id].addEventListener('change', () => {
    playFiles(elements[id].files);
    elements[id].value = '';
  });
elements.previous.addEventListener('click', () => step(-1));
elements.next.addEventListener('click', () => step(1));
elements.repeat.addEventListener('click', () => {
  playlist.repeat = { off: 'all', all: 'one', one: 'off' }[playlist.repeat];
  elements.repeat.textContent = `Repeat: ${playlist.repeat}`;
  elements.repeat.classList.toggle('on', playlist.repeat !== 'off');
  markPlaying();
});
elements.shuffle.addEventListener('click', () => {
  playlist.shuffle = !playlist.shuffle;
  elements.shuffle.classList.toggle('on', playlist.shuffle);
  reorder();
});

for (const type of ['dragenter', 'dragover'])
  document.addEventListener(type, event => {
    event.preventDefault();
    elements.stage.classList.add('over');
  });
document.addEventListener('dragleave', () => elements.stage.classList.remove('over'));
document.addEventListener('drop', event => {
  event.preventDefault();
  elements.stage.classList.remove('over');
  playFiles(event.dataTransfer.files);
});
