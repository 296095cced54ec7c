# sources of audio/
