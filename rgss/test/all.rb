# Runs every test of the game-side script: ruby rgss/test/all.rb
$LOAD_PATH.unshift(__dir__)
Dir[File.join(__dir__, 'test_*.rb')].sort.each { |file| require file }
