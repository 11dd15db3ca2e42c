// Building a list of records and walking it repeatedly.
var list = [];
for (var i = 0; i < 1000; i++) {
    list[i] = {id: i, name: "item" + i, score: i % 13};
}
var best = 0;
for (var k = 0; k < 40; k++) {
    for (var n = 0; n < 1000; n++) {
        var item = list[n];
        if (item.score > best) best = item.score;
        item.score = item.score + 1;
    }
}
var settings = {video: {width: 640, height: 480}, audio: {volume: 5}};
for (var m = 0; m < 5000; m++) {
    settings.video.width = settings.video.width + 1;
    settings.audio.volume = (settings.audio.volume + m) % 11;
}
print(best + " " + list.length + " " + settings.video.width + " " + settings.audio.volume);
