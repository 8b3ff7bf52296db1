CREATE TABLE `stores` (
  `id` int(10) unsigned NOT NULL AUTO_INCREMENT,
  `hierarchy_id` int(10) unsigned NOT NULL DEFAULT 0,
  `user_id` int(10) unsigned NOT NULL DEFAULT 0,
  `type` smallint(5) unsigned NOT NULL DEFAULT 0,
  `user_name` varchar(255) NOT NULL DEFAULT '',
  `company` int(10) unsigned NOT NULL DEFAULT 0,
  `guid` blob NOT NULL,
  PRIMARY KEY (`user_id`,`hierarchy_id`,`type`),
  UNIQUE KEY `id` (`id`)
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb3 COLLATE=utf8mb3_general_ci
